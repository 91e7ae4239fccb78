#pragma once

#include <QString>

namespace tamarin {

enum class MessageIcon { None, Information, Error };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// What the window asks of the desktop. The window never talks to the desktop any other way, so
// tests answer message boxes from a script and nothing opens a real browser in a test.
class Desktop {
  public:
    virtual ~Desktop() = default;

    // A modal message box with the application's title (no title of its own), waiting for an
    // answer. The text may hold CR LF line breaks.
    virtual MessageAnswer showMessage(const QString& text, MessageIcon icon,
                                      MessageButtons buttons) = 0;

    // Hands a document or address to the desktop's default handler; returns whether the desktop
    // accepted it. Callers of this tool ignore the answer.
    virtual bool openDocument(const QString& address) = 0;

    // The twips that one screen pixel spans vertically and horizontally (1440 / logical dpi).
    virtual float twipsPerPixelY() const = 0;
    virtual float twipsPerPixelX() const = 0;
};

}  // namespace tamarin
