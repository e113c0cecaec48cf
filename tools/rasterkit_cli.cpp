// rasterkit: the command-line face of the library, built on its public
// interface alone. The library reports most failures only through its
// messages and the image it leaves, so the tool judges a read by the image
// having pixels afterwards and a write by the output file existing and not
// being empty.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rasterkit.h"

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

const char *const main_help =
    "usage: rasterkit <command> [options]\n"
    "\n"
    "commands:\n"
    "  info FILE...          format (from the content), width and height of each file\n"
    "  convert IN OUT [ops]  read IN by content, transform, write OUT\n"
    "  selftest [WHICH]      run the library's self-tests (init, loadsave, binreadwrite, all)\n"
    "\n"
    "options:\n"
    "  -h, --help            this text; 'rasterkit COMMAND --help' for a command\n"
    "  --version             the version\n"
    "\n"
    "Exit status: 0 success, 1 a failed operation, 2 bad usage. The library's own\n"
    "diagnostic lines appear on standard output as it prints them; the tool's\n"
    "error lines, naming the file, go to standard error. Because the library tells\n"
    "many failures only through its messages and the image it leaves, a read counts\n"
    "as failed when the image has no pixels afterwards, and a write when the output\n"
    "file is missing or empty afterwards.\n";

const char *const info_help =
    "usage: rasterkit info FILE...\n"
    "\n"
    "Prints 'FILE: FORMAT WIDTHxHEIGHT' for each file, the format told by the file's\n"
    "first bytes (bmp, png or jpeg). A file that cannot be recognised or read gives\n"
    "an error line on standard error and exit status 1; the other files are still\n"
    "listed. A read counts as failed when it leaves no pixels.\n";

const char *const convert_help =
    "usage: rasterkit convert IN OUT [--flip-x] [--flip-y] [--transpose]\n"
    "                        [--format bmp|png|jpeg] [--quality N]\n"
    "\n"
    "Reads IN by its content, applies the transforms in the order given and writes\n"
    "OUT in the format its extension names (.bmp, .png, .jpg, .jpeg; anything else\n"
    "is written as PNG after the library's warning), or in the format --format\n"
    "names. JPEG is written at quality 100 unless --quality N (0 to 100) is given,\n"
    "which writes JPEG through the JPEG writer directly. The conversion counts as\n"
    "failed when IN leaves no pixels or OUT is missing or empty afterwards.\n";

const char *const selftest_help =
    "usage: rasterkit selftest [-C DIR] [init|loadsave|binreadwrite|all]\n"
    "\n"
    "Runs the library's exported self-tests (all of them by default) and shows what\n"
    "they print. They read and write fixtures under ../testimg/ relative to the\n"
    "working directory; -C DIR changes into DIR first. The self-tests give no\n"
    "verdict: their lines and output files are for a person to judge.\n";

struct format_name {
    const char *name;
    int32_t code;
};
constexpr format_name format_names[] = {{"bmp", 1}, {"png", 2}, {"jpeg", 3}, {"jpg", 3}};

const char *name_of_format(int32_t code) {
    for (const format_name &f : format_names)
        if (f.code == code) return f.name;
    return "unknown";
}

int32_t format_from_name(const std::string &name) {
    for (const format_name &f : format_names)
        if (name == f.name) return f.code;
    return -1;
}

bool wants_help(const std::vector<std::string> &args) {
    for (const std::string &a : args)
        if (a == "-h" || a == "--help") return true;
    return false;
}

int usage_error(const char *message, const char *help) {
    std::fprintf(stderr, "rasterkit: %s\n\n%s", message, help);
    return exit_usage;
}

// Owns a record for the length of one command.
class image_holder {
public:
    image_holder() { rasterkit_image_new(&image_, 0, 0); }
    ~image_holder() { rasterkit_image_delete(&image_); }
    image_holder(const image_holder &) = delete;
    image_holder &operator=(const image_holder &) = delete;
    rasterkit_image *get() const { return image_; }
    bool has_pixels() const { return image_ != nullptr && image_->data != nullptr; }

private:
    rasterkit_image *image_ = nullptr;
};

bool file_has_content(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

int run_info(const std::vector<std::string> &args) {
    if (wants_help(args)) {
        std::fputs(info_help, stdout);
        return exit_ok;
    }
    if (args.empty()) return usage_error("info needs at least one file", info_help);
    int status = exit_ok;
    for (const std::string &path : args) {
        const int32_t format = rasterkit_magic_type(path.c_str());
        if (format < 0) {
            std::fflush(stdout);
            std::fprintf(stderr, "rasterkit: %s: not a readable BMP, PNG or JPEG file\n", path.c_str());
            status = exit_failed;
            continue;
        }
        image_holder image;
        if (image.get() == nullptr) return exit_failed;
        rasterkit_readimage(path.c_str(), image.get());
        if (!image.has_pixels()) {
            std::fflush(stdout);
            std::fprintf(stderr, "rasterkit: %s: cannot be read as %s\n", path.c_str(), name_of_format(format));
            status = exit_failed;
            continue;
        }
        std::printf("%s: %s %dx%d\n", path.c_str(), name_of_format(format), image.get()->width,
                    image.get()->height);
    }
    return status;
}

struct convert_request {
    std::string input;
    std::string output;
    std::vector<std::string> transforms;
    int32_t format = 0;  // 0: by OUT's extension
    int quality = -1;    // -1: the library's choice
};

bool parse_quality(const std::string &text, int &quality) {
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > 100) return false;
    quality = static_cast<int>(value);
    return true;
}

bool name_is_jpeg(const std::string &path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string extension = path.substr(dot);
    for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".jpg" || extension == ".jpeg";
}

// Returns exit_ok or the usage status, with the message already printed.
int parse_convert(const std::vector<std::string> &args, convert_request &request) {
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--flip-x" || a == "--flip-y" || a == "--transpose") {
            request.transforms.push_back(a);
        } else if (a == "--format" || a == "--quality") {
            if (i + 1 == args.size()) return usage_error((a + " needs a value").c_str(), convert_help);
            const std::string &value = args[++i];
            if (a == "--format") {
                request.format = format_from_name(value);
                if (request.format < 0)
                    return usage_error(("unknown format '" + value + "'").c_str(), convert_help);
            } else if (!parse_quality(value, request.quality)) {
                return usage_error(("quality must be a whole number from 0 to 100, not '" + value + "'").c_str(),
                                   convert_help);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(("unknown option '" + a + "'").c_str(), convert_help);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return usage_error("convert needs IN and OUT", convert_help);
    request.input = positional[0];
    request.output = positional[1];
    const bool writes_jpeg = request.format == 3 || (request.format == 0 && name_is_jpeg(request.output));
    if (request.quality >= 0 && !writes_jpeg)
        return usage_error("--quality applies to JPEG output only", convert_help);
    return exit_ok;
}

bool apply_transform(const std::string &name, rasterkit_image *image) {
    if (name == "--flip-x") {
        rasterkit_image_flipx(image);
        return true;
    }
    if (name == "--flip-y") {
        rasterkit_image_flipy(image);
        return true;
    }
    return rasterkit_transpose_image(image) == 0;
}

int run_convert(const std::vector<std::string> &args) {
    if (wants_help(args)) {
        std::fputs(convert_help, stdout);
        return exit_ok;
    }
    convert_request request;
    const int parsed = parse_convert(args, request);
    if (parsed != exit_ok) return parsed;

    image_holder image;
    if (image.get() == nullptr) return exit_failed;
    rasterkit_readimage(request.input.c_str(), image.get());
    if (!image.has_pixels()) {
        std::fflush(stdout);
        std::fprintf(stderr, "rasterkit: %s: cannot be read\n", request.input.c_str());
        return exit_failed;
    }
    for (const std::string &t : request.transforms) {
        if (!apply_transform(t, image.get())) {
            std::fprintf(stderr, "rasterkit: %s: out of memory for %s\n", request.input.c_str(), t.c_str() + 2);
            return exit_failed;
        }
    }

    // A stale file must not pass for the new one.
    std::remove(request.output.c_str());
    if (request.quality >= 0)
        rasterkit_writeimage_jpeg(request.output.c_str(), image.get(), request.quality);
    else if (request.format != 0)
        rasterkit_writeimage_select(request.output.c_str(), image.get(), request.format);
    else
        rasterkit_writeimage(request.output.c_str(), image.get());
    std::fflush(stdout);
    if (!file_has_content(request.output)) {
        std::fprintf(stderr, "rasterkit: %s: could not be written\n", request.output.c_str());
        return exit_failed;
    }
    return exit_ok;
}

int run_selftest(const std::vector<std::string> &args) {
    if (wants_help(args)) {
        std::fputs(selftest_help, stdout);
        return exit_ok;
    }
    std::string which = "all";
    std::string directory;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-C") {
            if (i + 1 == args.size()) return usage_error("-C needs a directory", selftest_help);
            directory = args[++i];
        } else {
            which = args[i];
        }
    }
    if (which != "all" && which != "init" && which != "loadsave" && which != "binreadwrite")
        return usage_error(("unknown self-test '" + which + "'").c_str(), selftest_help);
    if (!directory.empty() && ::chdir(directory.c_str()) != 0) {
        std::fprintf(stderr, "rasterkit: %s: %s\n", directory.c_str(), std::strerror(errno));
        return exit_failed;
    }
    if (which == "all" || which == "init") rasterkit_test_init();
    if (which == "all" || which == "loadsave") rasterkit_test_loadsave();
    if (which == "all" || which == "binreadwrite") rasterkit_test_binreadwrite();
    std::fflush(stdout);
    return exit_ok;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return usage_error("no command given", main_help);
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "-h" || command == "--help") {
        std::fputs(main_help, stdout);
        return exit_ok;
    }
    if (command == "--version") {
        std::printf("rasterkit %s\n", RASTERKIT_VERSION);
        return exit_ok;
    }
    if (command == "info") return run_info(args);
    if (command == "convert") return run_convert(args);
    if (command == "selftest") return run_selftest(args);
    return usage_error(("unknown command '" + command + "'").c_str(), main_help);
}
