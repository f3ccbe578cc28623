// The window's controls for its tests: found by object name, and the states
// of the three command buttons in one short text.
#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>

namespace pellmor::test {

// The child control of this name; ends the test program when there is none.
template <typename T>
T* FindControl(QWidget* form, const char* name) {
  T* control = form->findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) qFatal("no control %s", name);
  return control;
}

// '1' for enabled, '0' for disabled: Select Folder, Prepare, Convert ("110").
inline QString ButtonStates(QWidget* form) {
  QString state;
  for (const char* name : {"btnSelectFolder", "btnPrepare", "btnConvert"})
    state += FindControl<QPushButton>(form, name)->isEnabled() ? '1' : '0';
  return state;
}

}  // namespace pellmor::test
