// The program's error box: the one place where a command's failure reaches
// the user.
#pragma once

#include <QString>

class QWidget;

namespace pellmor {

// message with a full stop added when its last character sorts after '.'
// (so "Disk full" gets one, "Done." and "(3)" do not).
QString ErrorBoxText(const QString& message);

// Shows ErrorBoxText(message) modally with the error icon, the caption
// "Pellmor" and an OK button, owned by owner (may be null).
void ShowErrorBox(QWidget* owner, const QString& message);

}  // namespace pellmor
