#include "record/IntervalTextValidator.h"

#include "record/Recorder.h"

QValidator::State IntervalTextValidator::validate(QString &input, int &) const
{
    return Recorder::isValidIntervalText(input) ? Acceptable : Invalid;
}
