#pragma once

#include <bitset>
#include <string>

// The hidden model selectors of the main window, in the order FormCreate examines them; IF7740x is
// never examined there but switches the VS500 decoder to its variant tables.
enum class ModelSelector
{
    IFOR210,
    IFOR230,
    IFZV900,
    IFRX12,
    IF4408,
    IFVS500,
    IF7720,
    IFOR220,
    IFOR240,
    IFOR250,
    IFOR380,
    IFOther,
    IF7740x,
    Count
};

constexpr int kModelSelectorCount = static_cast<int>(ModelSelector::Count);

using ModelSelectors = std::bitset<kModelSelectorCount>;

enum class DecoderFamily
{
    None,
    OR200,
    VS500
};

// The selector's name as written in the layout ("IFOR210"), and its check box caption ("OR210").
const char *modelSelectorName(ModelSelector selector);
const char *modelSelectorCaption(ModelSelector selector);
// Parses a selector name; returns false when it names none.
bool modelSelectorFromName(const std::string &name, ModelSelector *selector);
// Parses "IFOR210" or a list such as "IFVS500,IF7740x" into checked selectors; on an unknown name
// returns false and sets unknownName to it.
bool parseModelSelectors(const std::string &list, ModelSelectors *selectors, std::string *unknownName);
// Every selector name in profile order, joined by ", ".
std::string modelSelectorNames();
// Reads a selector list given on a command line, where it must name exactly one meter model:
// IF7740x only goes with a VS500-family model, and two models would leave one of them deaf. Returns
// what is wrong and what to give instead, or an empty text when `selectors` is set.
std::string readModelChoice(const std::string &list, ModelSelectors *selectors);

inline bool isChecked(const ModelSelectors &selectors, ModelSelector s)
{
    return selectors.test(static_cast<size_t>(s));
}

// The 4000-count class: what the window starts with until the model's profile says otherwise.
inline constexpr int kDefaultFullScale = 4000;
// While the frequency mode is shown the chart's axis spans this either side of zero, whatever the
// range class.
inline constexpr int kHzModeAxisLimit = 5000;

// Display range constants derived from the range class; every scale, limit and axis comes from them.
// The defaults are the 4000-count class's (rangeConstantsFor("4")).
struct RangeConstants
{
    std::string RangeClass = "4";
    int FullScale = kDefaultFullScale;
    int GaugeZero = kDefaultFullScale / 10;
    int BarFull = kDefaultFullScale / 100;
    int GaugeSpan = kDefaultFullScale / 50;
    // Limits and extremes start just outside the range, so neither alarms nor sticks.
    float UpperLimit = kDefaultFullScale + 2;
    float LowerLimit = -(kDefaultFullScale + 2);
    float MaxSeen = -(kDefaultFullScale + 1);
    float MinSeen = kDefaultFullScale + 1;
};

RangeConstants rangeConstantsFor(const std::string &rangeClass);

// What the checked selectors impose at start-up: the last checked one in table order decides the
// title and the family, 19200 wins if any checked selector asks for it, and the range class keeps
// the last value a checked selector set.
struct ModelProfile
{
    std::string title; // empty when no selector binds a family
    DecoderFamily family = DecoderFamily::None;
    bool baud19200 = false;
    std::string rangeClass = "4";
};

ModelProfile profileFor(const ModelSelectors &selectors);
