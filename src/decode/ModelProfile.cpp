#include "decode/ModelProfile.h"

#include <array>

namespace {

struct ProfileRow
{
    ModelSelector selector;
    const char *name;
    const char *caption;
    const char *title; // nullptr: the selector is not examined at start-up
    DecoderFamily family;
    bool baud19200;
    const char *rangeClass; // nullptr: leaves the range class as it is
};

const std::array<ProfileRow, kModelSelectorCount> kProfiles = {{
    {ModelSelector::IFOR210, "IFOR210", "OR210", "OR210 Interface Program _Ver: 2.00", DecoderFamily::OR200,
     false, nullptr},
    {ModelSelector::IFOR230, "IFOR230", "OR230", "OR230 Interface Program _Ver: 2.02", DecoderFamily::OR200,
     false, nullptr},
    {ModelSelector::IFZV900, "IFZV900", "ZV-900", "ZV-900 Interface Program _Ver: 2.00", DecoderFamily::OR200,
     false, nullptr},
    {ModelSelector::IFRX12, "IFRX12", "RX12/14", "rx12/14 Interface Program _Ver: 1.00", DecoderFamily::OR200,
     false, nullptr},
    {ModelSelector::IF4408, "IF4408", "44-08", "44-08 Interface Program _Ver: 1.00", DecoderFamily::VS500,
     false, nullptr},
    {ModelSelector::IFVS500, "IFVS500", "VS500", "VS500 Interface Program _Ver: 3.04", DecoderFamily::VS500,
     false, nullptr},
    {ModelSelector::IF7720, "IF7720", "Norrix 7720", "Norrix 7720 Interface Program _Ver: 1.00",
     DecoderFamily::VS500, false, nullptr},
    {ModelSelector::IFOR220, "IFOR220", "OR220", "OR220 Interface Program _Ver: 2.05", DecoderFamily::VS500,
     false, "34"},
    {ModelSelector::IFOR240, "IFOR240", "OR240", "OR240 Interface Program _Ver: 1.01", DecoderFamily::VS500,
     true, nullptr},
    {ModelSelector::IFOR250, "IFOR250", "OR250", "OR250 Interface Program _Ver: 1.01", DecoderFamily::VS500,
     true, "6"},
    {ModelSelector::IFOR380, "IFOR380", "OR380", "OR380 Interface Program _Ver: 0.01", DecoderFamily::VS500,
     true, "6"},
    {ModelSelector::IFOther, "IFOther", "IFOther", "DT4410 Interface Program _Ver: 1.00",
     DecoderFamily::OR200, false, nullptr},
    {ModelSelector::IF7740x, "IF7740x", "IF7740x", nullptr, DecoderFamily::None, false, nullptr},
}};

} // namespace

const char *modelSelectorName(ModelSelector selector)
{
    return kProfiles[static_cast<size_t>(selector)].name;
}

const char *modelSelectorCaption(ModelSelector selector)
{
    return kProfiles[static_cast<size_t>(selector)].caption;
}

bool modelSelectorFromName(const std::string &name, ModelSelector *selector)
{
    for (const ProfileRow &row : kProfiles) {
        if (name == row.name) {
            *selector = row.selector;
            return true;
        }
    }
    return false;
}

bool parseModelSelectors(const std::string &list, ModelSelectors *selectors, std::string *unknownName)
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

std::string readModelChoice(const std::string &list, ModelSelectors *selectors)
{
    ModelSelectors chosen;
    std::string unknown;
    if (!parseModelSelectors(list, &chosen, &unknown))
        return "unknown model selector '" + unknown + "'; use one of: " + modelSelectorNames();
    std::string models;
    std::string variantModels;
    int modelCount = 0;
    const ProfileRow *model = nullptr;
    for (const ProfileRow &row : kProfiles) {
        if (row.family == DecoderFamily::VS500)
            variantModels += std::string(variantModels.empty() ? "" : ", ") + row.name;
        if (!row.title || !chosen.test(static_cast<size_t>(row.selector)))
            continue;
        models += std::string(models.empty() ? "" : " and ") + row.name;
        model = &row;
        ++modelCount;
    }
    const bool variant = chosen.test(static_cast<size_t>(ModelSelector::IF7740x));
    if (modelCount > 1)
        return "'" + list + "' names " + std::to_string(modelCount) + " meter models (" + models +
               "); give one";
    if (!model)
        return "'" + list +
               "' selects no meter model; give IF7740x together with a VS500-family model, "
               "for example IFVS500,IF7740x";
    if (variant && model->family != DecoderFamily::VS500)
        return "IF7740x is a variant of the VS500-family models (" + variantModels + ") and cannot go with " +
               model->name + "; give " + model->name + " alone, or IF7740x with one of those";
    *selectors = chosen;
    return {};
}

std::string modelSelectorNames()
{
    std::string names;
    for (const ProfileRow &row : kProfiles) {
        if (!names.empty())
            names += ", ";
        names += row.name;
    }
    return names;
}

RangeConstants rangeConstantsFor(const std::string &rangeClass)
{
    RangeConstants c;
    c.RangeClass = rangeClass;
    int full = kDefaultFullScale;
    if (rangeClass == "6")
        full = 6000;
    else if (rangeClass == "34")
        full = 3400;
    c.FullScale = full;
    c.GaugeZero = full / 10;
    c.BarFull = full / 100;
    c.GaugeSpan = full / 50;
    c.UpperLimit = static_cast<float>(full + 2);
    c.LowerLimit = -static_cast<float>(full + 2);
    c.MaxSeen = -static_cast<float>(full + 1);
    c.MinSeen = static_cast<float>(full + 1);
    return c;
}

ModelProfile profileFor(const ModelSelectors &selectors)
{
    ModelProfile profile;
    for (const ProfileRow &row : kProfiles) {
        if (!row.title || !selectors.test(static_cast<size_t>(row.selector)))
            continue;
        profile.family = row.family;
        profile.title = row.title;
        if (row.baud19200)
            profile.baud19200 = true;
        if (row.rangeClass)
            profile.rangeClass = row.rangeClass;
    }
    return profile;
}
