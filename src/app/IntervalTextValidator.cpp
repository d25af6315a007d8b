#include "app/IntervalTextValidator.h"

#include "recorder/Recorder.h"

QValidator::State IntervalTextValidator::validate(QString &input, int &) const
{
    return Recorder::isValidIntervalText(input) ? Acceptable : Invalid;
}
