#include "CliOptions.h"

MeterSetup meterSetupFor(const ModelSelectors &selectors)
{
    MeterSetup setup;
    setup.selectors = selectors;
    setup.profile = profileFor(selectors);
    setup.range = rangeConstantsFor(setup.profile.rangeClass);
    return setup;
}
