#include <QApplication>

#include "Form1.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The desktop file's name (the Wayland app id, X11's class hint): the dock finds the icon whatever the binary is
  // called.
  QGuiApplication::setDesktopFileName(QStringLiteral("qavo-card-reader"));
  Form1 window;
  window.show();
  return application.exec();
}
