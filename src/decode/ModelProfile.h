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

inline bool isChecked(const ModelSelectors &selectors, ModelSelector s)
{
    return selectors.test(static_cast<size_t>(s));
}

// Display range constants derived from the range class; every scale, limit and axis comes from them.
struct RangeConstants
{
    std::string RangeClass = "4";
    int FullScale = 4000;
    int GaugeZero = 400;
    int BarFull = 40;
    int GaugeSpan = 80;
    float UpperLimit = 4002.0f;
    float LowerLimit = -4002.0f;
    float MaxSeen = -4001.0f;
    float MinSeen = 4001.0f;
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
