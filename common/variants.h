#pragma once

#include <QString>
#include <QVariant>
#include <QtGlobal>

// How the window takes the values that the status control answers with. A control may answer with
// any QVariant; these rules make an oddly answering control behave the same whatever sits behind
// the contract. Each throws StepFailure when the value cannot be taken as the wanted type.
namespace tamarin {

// Integers as they are; fractions rounded halves to even; numeric text by the whole-text
// conversion; a Boolean as -1 (true) or 0 (false). Anything else, or out of range, fails.
qint32 variantToInt32(const QVariant& value);

// Any non-zero number is true; text "True"/"False" (any case) or numeric text; anything else fails.
bool variantToBool(const QVariant& value);

// A number as single precision; numeric text by the locale; a non-finite result fails.
float variantToSingle(const QVariant& value);

// Text as it is; a number as its decimal text (integers) or shortest text (fractions); a Boolean
// as "True" or "False". A null or invalid variant fails.
QString variantToText(const QVariant& value);

}  // namespace tamarin
