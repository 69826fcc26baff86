#pragma once
// Every display field of a Form1 at once, by control name, for comparisons.

#include <QLabel>
#include <QString>
#include <map>
#include <ostream>

#include "Form1.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace testsupport {

using Fields = std::map<QString, QString>;

inline Fields AllFields(const Form1& form) {
  Fields fields;
  for (const QLabel* label : {form.Message, form.PassDate, form.PassArea, form.PassLimit, form.ChargeLeft, form.Debt}) {
    fields[label->objectName()] = label->text();
  }
  for (const QLabel* line : form.History) fields[line->objectName()] = line->text();
  return fields;
}

}  // namespace testsupport
