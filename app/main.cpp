// The program's entry: one window, run until it closes.
#include <QApplication>

#include "app/ufrmMain.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  pellmor::TForm1 form;
  form.show();
  return application.exec();
}
