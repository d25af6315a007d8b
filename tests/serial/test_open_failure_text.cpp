#include "serial/OpenFailureText.h"

#include <gtest/gtest.h>

namespace {

struct FailureCase
{
    const char *name;
    OpenFailure failure;
    const char *expected;
};

class OpenFailureTextTest : public ::testing::TestWithParam<FailureCase>
{};

} // namespace

TEST_P(OpenFailureTextTest, NamesPortReasonAndRemedy)
{
    EXPECT_EQ(openFailureText(QStringLiteral("COM1"), GetParam().failure),
              QLatin1String(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OpenFailureTextTest,
    ::testing::Values(
        FailureCase{"WindowsNotFound",
                    {OpenFailureKind::NotFound,
                     QStringLiteral("No such file or directory"),
                     QStringLiteral("COM1"),
                     {},
                     {},
                     {},
                     -1,
                     false},
                    "COM1: No such file or directory"},
        FailureCase{
            "NotFoundWithVariable",
            {OpenFailureKind::NotFound,
             QStringLiteral("No such file or directory"),
             QStringLiteral("/dev/ttyS0"),
             {},
             QStringLiteral("METERLINK_COM1"),
             {},
             -1,
             false},
            "COM1: No such file or directory (/dev/ttyS0). Plug in the adapter or set METERLINK_COM1 to "
            "its device path."},
        FailureCase{
            "PermissionDefaultGroup",
            {OpenFailureKind::AccessDenied,
             QStringLiteral("Permission denied"),
             QStringLiteral("/dev/ttyUSB0"),
             {},
             QStringLiteral("METERLINK_COM1"),
             {},
             -1,
             false},
            "COM1: Permission denied (/dev/ttyUSB0). Add your user to the dialout group (sudo usermod "
            "-aG dialout $USER) and log in again."},
        FailureCase{
            "PermissionDeviceGroup",
            {OpenFailureKind::AccessDenied,
             QStringLiteral("Permission denied"),
             QStringLiteral("/dev/ttyACM0"),
             QStringLiteral("uucp"),
             {},
             {},
             -1,
             false},
            "COM1: Permission denied (/dev/ttyACM0). Add your user to the uucp group (sudo usermod -aG "
            "uucp $USER) and log in again."},
        // Known ownership: the group's advice only where joining the group would open the device.
        FailureCase{
            "PermissionJoinableGroup",
            {OpenFailureKind::AccessDenied,
             QStringLiteral("Permission denied"),
             QStringLiteral("/dev/ttyUSB0"),
             QStringLiteral("dialout"),
             {},
             QStringLiteral("root"),
             0660,
             true},
            "COM1: Permission denied (/dev/ttyUSB0). Add your user to the dialout group (sudo usermod "
            "-aG dialout $USER) and log in again."},
        FailureCase{
            "PermissionOwnerOnly",
            {OpenFailureKind::AccessDenied,
             QStringLiteral("Permission denied"),
             QStringLiteral("/dev/ttyUSB0"),
             QStringLiteral("root"),
             {},
             QStringLiteral("root"),
             0600,
             false},
            "COM1: Permission denied (/dev/ttyUSB0). The device belongs to root:root with mode 0600, so "
            "joining a group would not help; ask the system's administrator for access to it."},
        FailureCase{
            "InUse",
            {OpenFailureKind::InUse,
             QStringLiteral("Port is in use"),
             QStringLiteral("/dev/ttyUSB0"),
             {},
             {},
             {},
             -1,
             false},
            "COM1: Port is in use (/dev/ttyUSB0). Another program is using the port; close it or choose "
            "another port."},
        FailureCase{"OtherKeepsSystemText",
                    {OpenFailureKind::Other,
                     QStringLiteral("Input/output error"),
                     QStringLiteral("/dev/ttyS0"),
                     {},
                     QStringLiteral("METERLINK_COM1"),
                     {},
                     -1,
                     false},
                    "COM1: Input/output error (/dev/ttyS0)"},
        FailureCase{"NoSystemText",
                    {OpenFailureKind::Other, {}, QStringLiteral("COM1"), {}, {}, {}, -1, false},
                    "COM1: Cannot open the port"}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

TEST(PortLostText, AlwaysSaysWhatHappened)
{
    const struct
    {
        const char *reason;
        const char *device;
        const char *expected;
    } rows[] = {
        {"", "/dev/ttyUSB0",
         "COM1: Device disconnected (/dev/ttyUSB0). Reconnecting when the device is back."},
        {"  ", "/dev/ttyUSB0",
         "COM1: Device disconnected (/dev/ttyUSB0). Reconnecting when the device is back."},
        {"Input/output error", "/dev/ttyUSB0",
         "COM1: Input/output error (/dev/ttyUSB0). Reconnecting when the device is back."},
        {"Resource temporarily unavailable.", "COM1",
         "COM1: Resource temporarily unavailable. Reconnecting when the device is back."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reason);
        EXPECT_EQ(portLostText(QStringLiteral("COM1"), QLatin1String(row.reason), QLatin1String(row.device)),
                  QLatin1String(row.expected));
    }
}
