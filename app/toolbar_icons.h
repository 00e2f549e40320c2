// The program's pictures, drawn at run time: the nine 16 by 15 toolbar images and the icons
// of the main window (resource 2) and of plain channel windows (resource 3).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tolvan::app {

inline constexpr int kButtonImageWidth = 16;
inline constexpr int kButtonImageHeight = 15;

// The toolbar image of a command (New, Open, Save, Cut, Copy, Paste, Print, About, context
// help); a null pixmap for any other command.
QPixmap ToolbarImage(int commandId);
// Icon resource 2 (main window, about box) or 3 (channel windows); null for others.
QIcon ProgramIcon(int resourceId);

}  // namespace tolvan::app
