#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace tamarin {

// Replaces a file's content so that any reader, even after a crash or a full disk, finds either
// the old content or the new one whole, never a torn or empty file. The new content goes to a
// temporary file beside the target; only when every byte of it has been written, flushed to the
// disk and closed without an error does it take the target's name. Throws StepFailure (and
// leaves the target as it was, the temporary file removed) when any of that fails.
//
// `beforeReplace` runs once the new content is safely on disk, right before it takes the name:
// the place to move an old file aside, so that a refused write never moves it at all.
void replaceFileAtomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace = {});

}  // namespace tamarin
