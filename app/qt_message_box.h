// The window's side of the message boxes raised below it (drivers, channels, the framework):
// a real QMessageBox centred on the main window, with the buttons the flags ask for
// (OK, OK/Cancel, Yes/No, Yes/No/Cancel). Also the wait cursor shown while a document opens.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

namespace tolvan::app {

// The window the boxes are centred on (the main window); none: the screen.
void SetMessageBoxOwner(QWidget* owner);

// Shows text with the MB_* flags and returns the ID* answer. On the window thread the box is
// modal at once. From another thread (a client's call, a file transfer, which may hold the
// server lock the window needs to paint) a notice is shown later and answered OK at once; a
// question waits for the user with the server lock let go. A box is closed by the window
// manager counts as Cancel where Cancel is offered, else No, else OK.
int ShowQtMessageBox(const std::string& text, const std::string& caption, std::uint32_t flags);

// The busy cursor for the time of a scope (opening a document); boxes shown meanwhile show
// the ordinary pointer.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace tolvan::app
