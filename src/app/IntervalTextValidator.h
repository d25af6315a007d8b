#pragma once

#include <QValidator>

// Keeps RecordSITime (and any box that takes a count of seconds or points) to text that always
// converts: typed and pasted text alike may hold only digits.
class IntervalTextValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};
