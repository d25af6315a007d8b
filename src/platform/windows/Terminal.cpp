#include "platform/Terminal.h"

#include <windows.h>

namespace platform {

Error makeRaw(File &terminal, int baud)
{
    // A serial port takes line settings; a console or anything else is left as it is.
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!terminal.isTerminal() || !GetCommState(terminal.handle(), &dcb))
        return {};
    dcb.BaudRate = DWORD(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return SetCommState(terminal.handle(), &dcb) ? Error{} : lastSystemError();
}

Error openPseudoTerminal(int, PseudoTerminal *)
{
    Error e;
    e.kind = Error::Kind::Unavailable;
    e.message = "Windows has no pseudo-terminals: give --device a serial port joined by a null-modem "
                "cable to the port the program reads (COM3, say), or a file to write the frames to";
    return e;
}

void dropStaleInput(File &, int) {}

void adjustLine(NativeHandle port, const LineControl &control)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        return;
    dcb.fParity = FALSE;
    if (control.rtsCts) {
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    }
    dcb.fOutX = dcb.fInX = control.xonXoff ? TRUE : FALSE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (control.extraStopBits && dcb.StopBits == ONESTOPBIT)
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    SetCommState(port, &dcb);
}

bool lineHungUp(NativeHandle)
{
    return false;
}

bool deviceOwnership(const std::string &, DeviceOwnership *)
{
    return false;
}

bool readingRefused(const std::string &)
{
    return false;
}

} // namespace platform
