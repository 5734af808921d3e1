#include "cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zolctl {

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

Json& Json::push(Json value) {
    items_.push_back(std::move(value));
    return *this;
}

Json& Json::set(const std::string& key, Json value) {
    for (auto& member : members_)
        if (member.first == key) {
            member.second = std::move(value);
            return *this;
        }
    members_.emplace_back(key, std::move(value));
    return *this;
}

std::string Json::dump() const {
    std::string out;
    write(out);
    return out;
}

namespace {
void writeString(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}
}  // namespace

void Json::write(std::string& out) const {
    switch (kind_) {
        case Kind::null: out += "null"; break;
        case Kind::boolean: out += bool_ ? "true" : "false"; break;
        case Kind::number: {
            if (!std::isfinite(number_)) {
                out += "null";
                break;
            }
            char buf[32];
            if (number_ == std::floor(number_) && std::fabs(number_) < 1e15)
                std::snprintf(buf, sizeof buf, "%.0f", number_);
            else
                std::snprintf(buf, sizeof buf, "%.6g", number_);
            out += buf;
            break;
        }
        case Kind::string: writeString(out, string_); break;
        case Kind::array:
            out += '[';
            for (size_t i = 0; i < items_.size(); ++i) {
                if (i) out += ',';
                items_[i].write(out);
            }
            out += ']';
            break;
        case Kind::object:
            out += '{';
            for (size_t i = 0; i < members_.size(); ++i) {
                if (i) out += ',';
                writeString(out, members_[i].first);
                out += ':';
                members_[i].second.write(out);
            }
            out += '}';
            break;
    }
}

bool Args::takeOption(const std::string& name, std::string& value) {
    for (size_t i = 0; i < words_.size(); ++i) {
        const std::string& w = words_[i];
        if (w == name) {
            if (i + 1 >= words_.size()) throw CliError(kUsage, "option " + name + " needs a value");
            value = words_[i + 1];
            words_.erase(words_.begin() + static_cast<long>(i), words_.begin() + static_cast<long>(i) + 2);
            return true;
        }
        if (w.rfind(name + "=", 0) == 0) {
            value = w.substr(name.size() + 1);
            words_.erase(words_.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool Args::takeFlag(const std::string& name) {
    for (size_t i = 0; i < words_.size(); ++i)
        if (words_[i] == name) {
            words_.erase(words_.begin() + static_cast<long>(i));
            return true;
        }
    return false;
}

std::vector<std::string> Args::positionals() const {
    for (const std::string& w : words_)
        // "-6" is a value, not an option.
        if (w.size() > 1 && w[0] == '-' && !(w[1] >= '0' && w[1] <= '9'))
            throw CliError(kUsage, "unknown option " + w);
    return words_;
}

int parseInt(const std::string& text, const std::string& what, long long low, long long high, int base) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, base);
    if (text.empty() || *end != '\0' || errno != 0)
        throw CliError(kUsage, what + " must be a whole number, not '" + text + "'");
    if (v < low || v > high)
        throw CliError(kUsage, what + " must be between " + std::to_string(low) + " and " + std::to_string(high) +
                                   ", not " + text);
    return static_cast<int>(v);
}

int parseFlow(const std::string& word) {
    if (word == "render" || word == "playback" || word == "out") return 0;
    if (word == "capture" || word == "recording" || word == "mic" || word == "in") return 1;
    throw CliError(kUsage, "unknown data flow '" + word + "' (render or capture)");
}

const char* flowName(int flow) { return flow == 0 ? "render" : "capture"; }

}  // namespace zolctl
