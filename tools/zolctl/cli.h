// The frame every zolctl command shares: its arguments, its error type and exit codes, the
// JSON writer for --json, and text conversions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zolctl {

// Exit codes, the same for every command.
enum Exit : int {
    kOk = 0,
    kFailed = 1,       // the library or the device refused or failed the operation
    kUsage = 2,        // bad command line or unreadable input file
    kNoLibrary = 3,    // zol_ecd_api.dll cannot be loaded or lacks an export
    kLibraryError = 4  // the library raised an error (for example a registry failure)
};

// What a command reports when it cannot do its job; main() prints it as one line.
class CliError : public std::runtime_error {
public:
    CliError(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const noexcept { return exitCode_; }

private:
    int exitCode_;
};

std::string narrow(const std::wstring& text);  // UTF-8
std::wstring widen(const std::string& text);   // from UTF-8

// A small JSON value: enough for the reports zolctl writes, nothing more.
class Json {
public:
    enum class Kind { null, boolean, number, string, array, object };

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool b) : kind_(Kind::boolean), bool_(b) {}
    Json(int n) : kind_(Kind::number), number_(n) {}
    Json(unsigned n) : kind_(Kind::number), number_(n) {}
    Json(long n) : kind_(Kind::number), number_(static_cast<double>(n)) {}
    Json(unsigned long n) : kind_(Kind::number), number_(static_cast<double>(n)) {}
    Json(long long n) : kind_(Kind::number), number_(static_cast<double>(n)) {}
    Json(double n) : kind_(Kind::number), number_(n) {}
    Json(const char* s) : kind_(Kind::string), string_(s) {}
    Json(std::string s) : kind_(Kind::string), string_(std::move(s)) {}
    Json(const std::wstring& s) : kind_(Kind::string), string_(narrow(s)) {}

    static Json array() { Json j; j.kind_ = Kind::array; return j; }
    static Json object() { Json j; j.kind_ = Kind::object; return j; }

    Json& push(Json value);                          // arrays
    Json& set(const std::string& key, Json value);   // objects, keys kept in insertion order
    std::string dump() const;

private:
    void write(std::string& out) const;

    Kind kind_ = Kind::null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<Json> items_;
    std::vector<std::pair<std::string, Json>> members_;
};

// Arguments of one command after the command words: options and positionals.
class Args {
public:
    explicit Args(std::vector<std::string> words) : words_(std::move(words)) {}
    // Removes "--name VALUE" or "--name=VALUE"; empty when absent.
    bool takeOption(const std::string& name, std::string& value);
    bool takeFlag(const std::string& name);
    // Everything left must be positional: an unknown option is a usage error.
    std::vector<std::string> positionals() const;

private:
    std::vector<std::string> words_;
};

int parseInt(const std::string& text, const std::string& what, long long low, long long high, int base = 0);

// Data-flow words of the volume and mute commands: render (0) or capture (1).
int parseFlow(const std::string& word);
const char* flowName(int flow);

}  // namespace zolctl
