#include "CliOptions.h"

bool parseSelectors(const std::string &list, ModelSelectors *selectors, std::string *unknownName)
{
    ModelSelectors result;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string name = list.substr(start, end - start);
        ModelSelector selector;
        if (!modelSelectorFromName(name, &selector)) {
            *unknownName = name;
            return false;
        }
        result.set(static_cast<size_t>(selector));
        start = end + 1;
    }
    *selectors = result;
    return true;
}

MeterSetup meterSetupFor(const ModelSelectors &selectors)
{
    MeterSetup setup;
    setup.selectors = selectors;
    setup.profile = profileFor(selectors);
    setup.range = rangeConstantsFor(setup.profile.rangeClass);
    return setup;
}
