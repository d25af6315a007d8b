#include "decode/LcdState.h"

namespace {

const char *const kNames[kLcdElementCount] = {
    "LcdFH", "LcdDa",   "LcdDb",    "LcdDc",   "LcdDd",  "LcdP1", "LcdP2",   "LcdP3",  "LcdAuto",
    "LCDRS", "LCD232C", "LcdACDC",  "LcdAC",   "LcdDc1", "LCDBF", "LCDHold", "LCDRec", "LCDBATT",
    "LCDBT", "LcdRPM",  "LCDTRMST", "LCDTRMS", "LCDCS",  "LCDFS", "LCDDI",   "LCDFm",  "LCDk",
    "LCDM1", "LCDHz",   "LCDohm",   "LCDu",    "Lcdm",   "LCDn",  "LCDA",    "LCDF",   "LcdV",
};

} // namespace

const char *lcdElementName(LcdElement element)
{
    return kNames[static_cast<size_t>(element)];
}

LcdPanelState LcdPanelState::startState()
{
    LcdPanelState s;
    s.setVisible(LcdElement::LcdFH, true);
    s.setVisible(LcdElement::LcdDa, true);
    s.setVisible(LcdElement::LcdDb, true);
    s.setVisible(LcdElement::LcdDc, true);
    s.setVisible(LcdElement::LcdDd, true);
    s.digits = {"3", "9", "9", "9"};
    return s;
}
