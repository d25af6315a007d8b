#include "CliOptions.h"

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage:\n"
    "  meterlink-cli decode [--model SEL[,IF7740x]] [--verbose] [FILE]\n"
    "  meterlink-cli simulate --model SEL[,IF7740x] [--device PATH] [--rate MS]\n"
    "  meterlink-cli ports\n"
    "  meterlink-cli log --model SEL (--device PATH | --port COMn | --input FILE) [options]\n"
    "  meterlink-cli convert IN OUT\n"
    "  meterlink-cli --help | --version\n"
    "\n"
    "decode    Reads a meter's raw byte stream from FILE (standard input when FILE is missing or \"-\")\n"
    "          and prints one line per decoded frame, fields separated by a tab:\n"
    "            value  unit  DC/AC  Auto  Nval\n"
    "          --verbose adds: gauge input, bar position, chart value, the four digit captions\n"
    "          joined by \"|\" and the visible panel elements joined by \",\".\n"
    "          A frame whose digits do not convert prints: error  <message>.\n"
    "simulate  Sends the model's demonstration frames at the meter's pace (--rate MS overrides it).\n"
    "          Without --device it opens a pseudo-terminal and prints its path on the first line;\n"
    "          stop it with Ctrl+C.\n"
    "ports     Lists the machine's serial ports: device, which of COM1..COM4 it is here,\n"
    "          description, maker, serial number, and whether it opens (else why not).\n"
    "log       Records readings without the window, by its recording rules, into a table file, a\n"
    "          text file or standard output (meterlink-cli log --help).\n"
    "convert   Reads the table file IN with the checks of \"Open old data files\" and writes OUT with\n"
    "          the refusals and messages of the window's Save. OUT's name chooses the format: ending\n"
    "          in .db (any letter case), .sqlite or .sqlite3 a table copy; \"-\" the tab-separated\n"
    "          text on standard output; any other name the tab-separated text export. OUT must be a\n"
    "          regular file or a new name, not IN and not the working table Vs500db.DB of the\n"
    "          current folder; it is replaced only once it is complete. Exit status: 0 saved;\n"
    "          1 refused, failed or stopped (the message on standard error, OUT untouched); 2 usage.\n"
    "          Long work shows its progress on standard error when that is a terminal.\n"
    "\n"
    "SEL is a model selector: IFOR210 (default), IFOR230, IFZV900, IFRX12, IF4408, IFVS500, IF7720,\n"
    "IFOR220, IFOR240, IFOR250, IFOR380, IFOther. IF7740x switches a VS500-family model to its 7740x\n"
    "variant and is given together with it (IFVS500,IF7740x); two models are refused.\n"
    "A command line that cannot be acted on exits with status 2.\n";

} // namespace

int main(int argc, char **argv)
{
    const bool help = argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    const bool version = argc >= 2 && std::strcmp(argv[1], "--version") == 0;
    // Whatever follows --help or --version would be passed over silently: refused instead.
    if ((help || version) && argc > 2) {
        std::fprintf(stderr, "meterlink-cli: %s takes nothing after it, not '%s'\n", argv[1], argv[2]);
        return kUsageExitCode;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (version) {
        std::printf("meterlink-cli %s\n", METERLINK_VERSION);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "decode") == 0)
        return runDecode(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "simulate") == 0)
        return runSimulate(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "ports") == 0)
        return runPorts(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "log") == 0)
        return runLog(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "convert") == 0)
        return runConvert(argc - 2, argv + 2);
    if (argc >= 2)
        std::fprintf(stderr, "meterlink-cli: unknown command '%s'\n", argv[1]);
    std::fputs(kUsage, stderr);
    return kUsageExitCode;
}
