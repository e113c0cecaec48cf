// The tool's help texts, one per command.
#pragma once

namespace rktool {

constexpr const char *main_help =
    "usage: rasterkit <command> [options]\n"
    "\n"
    "commands:\n"
    "  info [--json] FILE...         format (from the content), width and height of each\n"
    "                                file, from its header alone ('-': standard input)\n"
    "  convert IN OUT [ops]          read IN by content, transform, write OUT\n"
    "  convert IN... -o DIR [ops]    convert many files on every core into DIR\n"
    "  selftest [WHICH]              run the library's self-tests (init, loadsave, binreadwrite, all)\n"
    "\n"
    "options:\n"
    "  -h, --help            this text; 'rasterkit COMMAND --help' for a command\n"
    "  --version             the version\n"
    "\n"
    "Exit status: 0 success, 1 a failed operation, 2 bad usage. The library's own\n"
    "diagnostic lines appear on standard output as it prints them; the tool's\n"
    "error lines, naming the file, go to standard error. Because the library tells\n"
    "many failures only through its messages and the image it leaves, a read counts\n"
    "as failed when the image has no pixels afterwards, and a write when the file it\n"
    "left is missing or incomplete. Writes never destroy an existing file: see\n"
    "'rasterkit convert --help'. '--' ends the options: what follows are files.\n";

constexpr const char *info_help =
    "usage: rasterkit info [--json] FILE...\n"
    "\n"
    "Prints 'FILE: FORMAT WIDTHxHEIGHT' for each file, the format told by the file's\n"
    "first bytes (bmp, png or jpeg) and the size by its header, which is all that is\n"
    "read: nothing is decoded, so a huge image costs no more than a small one, and\n"
    "damage to the pixel data shows only when the file is converted. A file whose\n"
    "header the readers would refuse gives an error line on standard error and exit\n"
    "status 1; the other files are still listed. FILE '-' is standard input.\n"
    "\n"
    "  --json   one JSON object per line instead: {\"path\", \"format\", \"width\",\n"
    "           \"height\"}, or {\"path\", \"error\"} for a file that failed. Bytes of a\n"
    "           name that are not UTF-8 show as U+FFFD. The library's own lines go to\n"
    "           standard error, so standard output holds JSON alone.\n";

constexpr const char *convert_help =
    "usage: rasterkit convert IN OUT [--flip-x] [--flip-y] [--transpose]\n"
    "                        [--format bmp|png|jpeg] [--quality N] [--max-pixels N]\n"
    "       rasterkit convert IN... -o DIR [--format bmp|png|jpeg] [--quality N]\n"
    "                        [--flip-x] [--flip-y] [--transpose] [--max-pixels N]\n"
    "                        [-j N] [--quiet]\n"
    "\n"
    "Reads IN by its content, applies the transforms in the order given and writes\n"
    "OUT in the format its extension names (.bmp, .png, .jpg, .jpeg; anything else\n"
    "is written as PNG after the library's warning), or in the format --format\n"
    "names. JPEG is written at quality 100 unless --quality N (0 to 100) is given,\n"
    "which writes JPEG through the JPEG writer directly. The conversion counts as\n"
    "failed when IN leaves no pixels or OUT is missing or incomplete afterwards.\n"
    "  --max-pixels N  refuse, before decoding, an IN whose header declares more than\n"
    "                  N pixels (default 268435456, 16384x16384; 0: up to the\n"
    "                  library's ceiling of 536870912)\n"
    "\n"
    "IN '-' reads standard input (format by content); OUT '-' writes standard output\n"
    "and needs --format. The image reaches standard output only once it is encoded\n"
    "and checked complete, so a failed conversion writes nothing there; meanwhile\n"
    "the library's own lines go to standard error. '--' ends the options, so that\n"
    "'rasterkit convert -- -a.jpg b.png' names a file that starts with '-'.\n"
    "\n"
    "With -o DIR, each IN goes to DIR/<IN's name without its extension>.<ext>, ext\n"
    "bmp, png or jpg by --format; without --format each file keeps its own format\n"
    "(by content) and extension, and --quality applies to the JPEG files. DIR is\n"
    "created if missing; a folder given as IN stands for the files directly inside\n"
    "it (names starting with a dot left out). Two inputs that would write the same\n"
    "file are refused before anything is written. A file that fails is named on\n"
    "standard error and the run goes on; a summary line follows at the end. '-' is\n"
    "refused in this form.\n"
    "  -o DIR      the output folder (batch form)\n"
    "  -j N        N threads (default: one per online processor); the output is\n"
    "              the same for every N\n"
    "  --quiet     no progress line (shown only when standard error is a terminal)\n"
    "\n"
    "Safe writes: every output is written to a temporary file in OUT's own folder,\n"
    "checked to be complete (a BMP as long as its header says, a PNG ending with its\n"
    "end chunk, a JPEG with its end-of-image marker) and only then renamed over OUT.\n"
    "A write that fails leaves OUT as it was, or absent. OUT may be IN. A symbolic\n"
    "link is followed and the file it names replaced; an existing OUT that is not a\n"
    "regular file (/dev/stdout, a FIFO, a device) is written straight through.\n";

constexpr const char *selftest_help =
    "usage: rasterkit selftest [-C DIR] [init|loadsave|binreadwrite|all]\n"
    "\n"
    "Runs the library's exported self-tests (all of them by default) and shows what\n"
    "they print. They read and write fixtures under ../testimg/ relative to the\n"
    "working directory; -C DIR changes into DIR first. The self-tests give no\n"
    "verdict: their lines and output files are for a person to judge.\n";

}  // namespace rktool
