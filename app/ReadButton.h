#pragma once
// A push button that also clicks on Enter/Return while it has the focus,
// as a command button does, without being a default button.

#include <QPushButton>

class QKeyEvent;

namespace app {

class ReadButton : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace app
