#include "Parameters.h"

#include <cstdlib>
#include <fstream>

#include "torvik/Strings.h"

namespace plughost {

namespace {

const char EnvironmentPrefix[] = "@env:";

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::string::size_type first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    const std::string::size_type last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::optional<std::string> ProcessEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace

ParameterSet::ParameterSet() : environment_(ProcessEnvironment) {}

ParameterSet::ParameterSet(Environment environment) : environment_(std::move(environment)) {}

std::string ParameterSet::Assign(const std::string& text, const std::string& origin) {
    const std::string::size_type equals = text.find('=');
    if (equals == std::string::npos)
        // The text itself is not repeated: it may be a secret typed without its key.
        return origin + ": expected Key=Value";
    const std::string key = Trim(text.substr(0, equals));
    std::string value = Trim(text.substr(equals + 1));
    if (key.empty()) return origin + ": the parameter has no key";
    const std::string prefix = EnvironmentPrefix;
    literalSecrets_.erase(key);
    if (value.compare(0, prefix.size(), prefix) != 0 && HoldsSecret(key) && !value.empty())
        literalSecrets_[key] = origin;
    if (value.compare(0, prefix.size(), prefix) == 0) {
        const std::string name = value.substr(prefix.size());
        if (name.empty()) return origin + ": " + key + "=@env: names no environment variable";
        std::optional<std::string> fromEnvironment = environment_(name);
        if (!fromEnvironment)
            return origin + ": " + key + " refers to the environment variable " + name +
                   ", which is not set";
        value = *fromEnvironment;
    }
    values_[key] = value;
    return "";
}

std::string ParameterSet::LoadFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) return "cannot read parameters file '" + path + "'";
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        std::string error = Assign(trimmed, path + ":" + std::to_string(number));
        if (!error.empty()) return error;
    }
    if (file.bad()) return "error reading parameters file '" + path + "'";
    return "";
}

std::optional<std::string> ParameterSet::Find(const std::string& key) const {
    auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

std::vector<std::pair<std::string, std::string>> ParameterSet::Printable() const {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& [key, value] : values_) entries.emplace_back(key, Shown(key, value));
    return entries;
}

bool ParameterSet::IsSecretKey(const std::string& key) {
    std::string lower;
    for (char c : key) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower.find("secret") != std::string::npos ||
           lower.find("password") != std::string::npos || lower.find("key") != std::string::npos;
}

bool ParameterSet::HoldsSecret(const std::string& key) {
    std::string lower;
    for (char c : key) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower.find("secret") != std::string::npos || lower.find("password") != std::string::npos;
}

std::string ParameterSet::Shown(const std::string& key, const std::string& value) {
    if (value.empty()) return "(empty)";
    if (IsSecretKey(key)) return "********";
    return value;
}

ParameterLink::ParameterLink(const ParameterSet& parameters, Console& console, bool verbose)
    : parameters_(parameters), console_(console), verbose_(verbose) {}

bool ParameterLink::GetValue(const wchar_t* key, std::wstring& value) {
    const std::string name = Torvik::strings::WstrToUTF8(key != nullptr ? key : L"");
    asked_.push_back(name);
    const std::optional<std::string> found = parameters_.Find(name);
    if (verbose_) {
        console_.Line("plughost: the plug-in asks for " + name + ": " +
                      (found ? ParameterSet::Shown(name, *found) : std::string("not given")));
    }
    if (!found) return false;
    value = Torvik::strings::UTF8toWstr(*found);
    return true;
}

}  // namespace plughost
