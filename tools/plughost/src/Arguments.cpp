#include "Arguments.h"

namespace plughost {

namespace {

constexpr std::size_t MaxBlockSize = 1024u * 1024u * 1024u;

std::optional<ProgressMode> ParseProgressMode(const std::string& text) {
    if (text == "auto") return ProgressMode::Auto;
    if (text == "bar") return ProgressMode::Bar;
    if (text == "lines") return ProgressMode::Lines;
    if (text == "none") return ProgressMode::None;
    return std::nullopt;
}

// Options that take a value, with their short forms.
struct ValueOption {
    const char* longName;
    char shortName;
};
const ValueOption ValueOptions[] = {
    {"--plugin", 'P'},  {"--param", 'p'},    {"--params", 0},     {"--endpoint", 0},
    {"--log", 0},       {"--block-size", 0}, {"--progress", 0},   {"--retries", 0},
    {"--timeout", 0},   {"--upload-id", 0},  {"--max-delete", 0}, {"--overwrite", 0},
    {"--transfers", 0}, {"--memory", 0},
};

// Options of one command or a few, with the flag that tells where they apply.
struct CommandFlag {
    const char* name;
    unsigned option;
};
const CommandFlag CommandFlags[] = {
    {"-R", RecursiveOption},          {"--recursive", RecursiveOption},
    {"--parents", ParentsOption},     {"--checksum", ChecksumOption},
    {"--delete", BackupOptions},      {"--dry-run", BackupOptions},
    {"--max-delete", BackupOptions},  {"--upload-id", UploadIdOption},
    {"--overwrite", OverwriteOption},
};

unsigned CommandFlagOf(const std::string& name) {
    for (const CommandFlag& flag : CommandFlags)
        if (name == flag.name) return flag.option;
    return 0;
}

}  // namespace

std::optional<std::size_t> ParseBlockSize(const std::string& text) {
    const std::optional<std::uint64_t> size = ParseSize(text, MaxBlockSize);
    if (!size) return std::nullopt;
    return static_cast<std::size_t>(*size);
}

std::optional<std::uint64_t> ParseSize(const std::string& text, std::uint64_t maximum) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 10) return std::nullopt;
    const unsigned long long number = std::stoull(text.substr(0, digits));
    const std::string suffix = text.substr(digits);
    unsigned long long factor = 1;
    if (!suffix.empty()) {
        const char unit = static_cast<char>(suffix[0] | 0x20);
        if ((suffix.size() != 1 && suffix.substr(1) != "iB") ||
            (unit != 'k' && unit != 'm' && unit != 'g'))
            return std::nullopt;
        factor = unit == 'k' ? 1024ull : unit == 'm' ? 1024ull * 1024 : 1024ull * 1024 * 1024;
    }
    const unsigned long long size = number * factor;
    if (size == 0 || size > maximum || size / factor != number) return std::nullopt;
    return size;
}

std::optional<double> ParseSeconds(const std::string& text) {
    std::string number = text;
    if (!number.empty() && number.back() == 's') number.pop_back();
    if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos ||
        number.find('.') != number.rfind('.') || number == ".")
        return std::nullopt;
    const double seconds = std::stod(number);
    if (seconds <= 0 || seconds > 86400) return std::nullopt;
    return seconds;
}

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
    ParsedArguments parsed;
    Invocation& invocation = parsed.invocation;
    GlobalOptions& global = invocation.global;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (!isOption) {
            if (invocation.command == nullptr) {
                // The first operand is the command ("plughost --help ls" asks for its help).
                invocation.command = FindCommand(argument);
                if (invocation.command == nullptr) {
                    parsed.error = "unknown command '" + argument + "'";
                    return parsed;
                }
            } else {
                invocation.operands.push_back(argument);
            }
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }

        // Split "--name=value" and "-Xvalue" into name and attached value.
        std::string name = argument;
        std::optional<std::string> attached;
        if (argument.compare(0, 2, "--") == 0) {
            const std::string::size_type equals = argument.find('=');
            if (equals != std::string::npos) {
                name = argument.substr(0, equals);
                attached = argument.substr(equals + 1);
            }
        } else if (argument.size() > 2) {
            name = argument.substr(0, 2);
            attached = argument.substr(2);
        }
        for (const ValueOption& option : ValueOptions)
            if (option.shortName != 0 && name == std::string("-") + option.shortName)
                name = option.longName;

        bool takesValue = false;
        for (const ValueOption& option : ValueOptions)
            if (name == option.longName) takesValue = true;
        std::string value;
        if (takesValue) {
            if (attached) {
                value = *attached;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                parsed.error = "option " + name + " needs a value";
                return parsed;
            }
        } else if (attached) {
            parsed.error = "option " + name + " takes no value";
            return parsed;
        }

        if (name == "-h" || name == "--help") {
            invocation.help = true;
        } else if (name == "--version") {
            invocation.version = true;
        } else if (name == "-v" || name == "--verbose") {
            global.verbose = true;
        } else if (name == "-q" || name == "--quiet") {
            global.quiet = true;
        } else if (name == "--plugin") {
            global.plugin = value;
        } else if (name == "--param") {
            global.parameters.push_back(value);
        } else if (name == "--params") {
            global.parametersFile = value;
        } else if (name == "--endpoint") {
            global.endpoint = value;
        } else if (name == "--log") {
            global.logFile = value;
        } else if (name == "--block-size") {
            const std::optional<std::size_t> size = ParseBlockSize(value);
            if (!size) {
                parsed.error = "invalid --block-size '" + value +
                               "' (1 byte to 1G: a number of bytes, or with K, M or G, e.g. 64K, "
                               "1M, 1G)";
                return parsed;
            }
            global.blockSize = *size;
        } else if (name == "--progress") {
            const std::optional<ProgressMode> mode = ParseProgressMode(value);
            if (!mode) {
                parsed.error = "invalid --progress '" + value + "' (auto, bar, lines or none)";
                return parsed;
            }
            global.progress = *mode;
        } else if (name == "--retries") {
            const bool digits = !value.empty() && value.size() <= 3 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            const int attempts = digits ? std::stoi(value) : 0;
            if (attempts < 1 || attempts > 100) {
                parsed.error = "invalid --retries '" + value + "' (attempts per request, 1 to 100)";
                return parsed;
            }
            global.retries = attempts;
        } else if (name == "--transfers") {
            const bool digits = !value.empty() && value.size() <= 3 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            const unsigned count = digits ? static_cast<unsigned>(std::stoul(value)) : 0;
            if (count < 1 || count > MaxTransfers) {
                parsed.error = "invalid --transfers '" + value + "' (instances, 1 to " +
                               std::to_string(MaxTransfers) + ")";
                return parsed;
            }
            global.transfers = count;
        } else if (name == "--memory") {
            const std::optional<std::uint64_t> size = ParseSize(value, 1ull << 40);
            if (!size) {
                parsed.error = "invalid --memory '" + value + "' (a size, e.g. 448M or 2G)";
                return parsed;
            }
            global.memory = *size;
        } else if (name == "--timeout") {
            const std::optional<double> seconds = ParseSeconds(value);
            if (!seconds) {
                parsed.error = "invalid --timeout '" + value + "' (seconds, e.g. 10 or 2.5)";
                return parsed;
            }
            global.timeout = *seconds;
        } else if (const unsigned wanted = CommandFlagOf(name); wanted != 0) {
            if (invocation.command == nullptr || (invocation.command->options & wanted) == 0) {
                parsed.error =
                    "option " + name + " does not apply " +
                    (invocation.command == nullptr ? std::string("before the command")
                                                   : std::string("to ") + invocation.command->name);
                return parsed;
            }
            if (name == "--parents")
                invocation.parents = true;
            else if (name == "--checksum")
                invocation.checksum = true;
            else if (name == "--delete")
                invocation.deleteExtra = true;
            else if (name == "--dry-run")
                invocation.dryRun = true;
            else if (name == "--upload-id")
                invocation.uploadId = value;
            else if (name == "--max-delete") {
                if (value.empty() || value.size() > 18 ||
                    value.find_first_not_of("0123456789") != std::string::npos) {
                    parsed.error = "invalid --max-delete '" + value + "' (a number of entries)";
                    return parsed;
                }
                invocation.maxDelete = std::stoull(value);
            } else if (name == "--overwrite") {
                if (value != "changed" && value != "always" && value != "never") {
                    parsed.error = "invalid --overwrite '" + value + "' (changed, always or never)";
                    return parsed;
                }
                invocation.overwrite = value == "always"  ? Overwrite::Always
                                       : value == "never" ? Overwrite::Never
                                                          : Overwrite::Changed;
            } else
                invocation.recursive = true;
        } else {
            parsed.error = "unknown option '" + argument + "'";
            return parsed;
        }
    }

    if (invocation.help || invocation.version) return parsed;
    if (global.quiet && global.verbose) {
        parsed.error = "-q and -v exclude each other";
        return parsed;
    }
    if (invocation.command == nullptr) {
        parsed.error = "no command given";
        return parsed;
    }
    const CommandSpec& command = *invocation.command;
    const int count = static_cast<int>(invocation.operands.size());
    if (count < command.minOperands || count > command.maxOperands) {
        parsed.error = std::string(command.name) +
                       (count < command.minOperands ? ": missing operand" : ": too many operands");
        return parsed;
    }
    if (command.instance == InstanceKind::None && count == 1) {
        if (!global.plugin.empty() && global.plugin != invocation.operands[0]) {
            parsed.error = "info: the plug-in is given twice";
            return parsed;
        }
        global.plugin = invocation.operands[0];
    }
    if (global.plugin.empty()) {
        parsed.error = "no plug-in given (use --plugin PATH)";
        return parsed;
    }
    return parsed;
}

}  // namespace plughost
