#pragma once
// Reads every display field of a Form1 at once, for comparisons.

#include <QLabel>
#include <QString>
#include <map>

#include "Form1.h"
#include "support/QStringPrinter.h"

namespace testsupport {

using Fields = std::map<QString, QString>;

inline Fields AllFields(const Form1& form) {
  Fields fields{{"Message", form.Message->text()},       {"PassDate", form.PassDate->text()},
                {"PassArea", form.PassArea->text()},     {"PassLimit", form.PassLimit->text()},
                {"ChargeLeft", form.ChargeLeft->text()}, {"Debt", form.Debt->text()}};
  for (int i = 0; i < Form1::kHistoryCount; ++i) fields[QStringLiteral("History(%1)").arg(i)] = form.History[i]->text();
  return fields;
}

}  // namespace testsupport
