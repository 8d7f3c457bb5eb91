// The configuration parameters the tool hands a plug-in through ILink, collected from a
// parameters file and from the command line. A value "@env:NAME" is read from the environment
// variable NAME, so that a secret need not appear on a command line or in a file.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Console.h"
#include "host/HostInterfaces.h"

namespace plughost {

class ParameterSet {
  public:
    // Looks up an environment variable; nullopt when it is not set.
    using Environment = std::function<std::optional<std::string>(const std::string&)>;

    // Reads the process environment.
    ParameterSet();
    explicit ParameterSet(Environment environment);

    // "Key=Value"; a later assignment of a key replaces an earlier one. `origin` names where
    // the text came from, for messages. Returns an error message, or an empty string.
    std::string Assign(const std::string& text, const std::string& origin);

    // A file of "Key=Value" lines; blank lines and lines starting with '#' are skipped, and
    // spaces around key and value are dropped. Returns an error message, or an empty string.
    std::string LoadFile(const std::string& path);

    std::optional<std::string> Find(const std::string& key) const;

    // Every parameter with its value masked where the key looks secret, sorted by key.
    std::vector<std::pair<std::string, std::string>> Printable() const;

    // Keys whose values are never shown: those containing "Secret", "Password" or "Key".
    static bool IsSecretKey(const std::string& key);
    // Keys that hold a secret proper (not an access key id): "Secret" or "Password" in them.
    static bool HoldsSecret(const std::string& key);

    // Where each secret given as it stands (not as @env:NAME) came from, by key: the origin
    // passed to Assign ("-p", or "FILE:LINE").
    const std::map<std::string, std::string>& LiteralSecrets() const { return literalSecrets_; }
    static std::string Shown(const std::string& key, const std::string& value);

  private:
    Environment environment_;
    std::map<std::string, std::string> values_;
    std::map<std::string, std::string> literalSecrets_;
};

// The host configuration object of one instance. Remembers the keys the plug-in asked for,
// and with `verbose` reports each question (values masked) on the console.
class ParameterLink final : public ILink {
  public:
    ParameterLink(const ParameterSet& parameters, Console& console, bool verbose);
    ~ParameterLink() = default;
    ParameterLink(const ParameterLink&) = delete;
    ParameterLink& operator=(const ParameterLink&) = delete;

    bool GetValue(const wchar_t* key, std::wstring& value) override;

    const std::vector<std::string>& Asked() const { return asked_; }

  private:
    const ParameterSet& parameters_;
    Console& console_;
    bool verbose_;
    std::vector<std::string> asked_;
};

}  // namespace plughost
