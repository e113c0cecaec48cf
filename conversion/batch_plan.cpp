#include "batch_plan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "options.h"

namespace rkconv {
namespace {

std::string base_name(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_directory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The regular files directly inside a folder, sorted by name.
std::vector<std::string> files_inside(const std::string &directory) {
    std::vector<std::string> found;
    DIR *listing = ::opendir(directory.c_str());
    if (listing == nullptr) return found;
    const std::string prefix = directory.back() == '/' ? directory : directory + "/";
    while (const dirent *entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.') continue;
        const std::string path = prefix + entry->d_name;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) found.push_back(path);
    }
    ::closedir(listing);
    std::sort(found.begin(), found.end());
    return found;
}

std::string output_name(const std::string &input, std::int32_t format) {
    const std::string name = base_name(input);
    const std::size_t dot = name.rfind('.');
    const bool has_extension = dot != std::string::npos && dot != 0;
    const std::string stem = has_extension ? name.substr(0, dot) : name;
    if (format != format_by_name && format != format_of_input) return stem + "." + format_extension(format);
    return has_extension ? stem + name.substr(dot) : stem;
}

}  // namespace

batch_plan plan_batch(const std::vector<std::string> &inputs, const std::string &output_directory,
                      std::int32_t format) {
    batch_plan plan;
    const std::string prefix = output_directory.back() == '/' ? output_directory : output_directory + "/";
    std::map<std::string, std::string> writer_of;
    const auto add = [&](const std::string &input) {
        const std::string output = prefix + output_name(input, format);
        const auto [place, added] = writer_of.emplace(output, input);
        if (!added && plan.usage_problem.empty())
            plan.usage_problem = place->second + " and " + input + " would both be written to " + output;
        plan.files.push_back({input, output});
    };
    for (const std::string &input : inputs) {
        if (!is_directory(input)) {
            add(input);
            continue;
        }
        for (const std::string &file : files_inside(input)) add(file);
    }
    return plan;
}

std::string make_directories(const std::string &path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return std::strerror(errno);
        if (slash == std::string::npos) break;
    }
    return is_directory(path) ? std::string() : std::string("not a folder");
}

}  // namespace rkconv
