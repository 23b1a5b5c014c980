#include "app/command_line.h"

#include "app/commands.h"
#include "core/integer_text.h"
#include "platform/syscalls.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <optional>
#include <unistd.h>

namespace tallyfox::app {

namespace {

constexpr std::int32_t kLowestStart = 0;
constexpr std::int32_t kHighestStart = 99999;
constexpr std::int32_t kFewestDigits = 1;
constexpr std::int32_t kMostDigits = 10;

const char* const kCommands[] = {"number", "extension", "undo", "history"};

struct Option
{
    const char* name;
    bool takesValue;
};

// The options of each command, as its usage line gives them.
std::vector<Option> optionsOf(const std::string& command)
{
    if (command == "number") {
        return {{"--filter", true},
                {"--order", true},
                {"--before", true},
                {"--after", true},
                {"--start", true},
                {"--digits", true},
                {"--ext", true},
                {"--copy-to", true},
                {"--move-to", true},
                {"--replace", false},
                {"--dry-run", false},
                {"--json", false}};
    }
    if (command == "extension") {
        return {{"--ext", true}, {"--filter", true}, {"--dry-run", false}, {"--json", false}};
    }
    if (command == "undo") {
        return {{"--dry-run", false}, {"--json", false}};
    }
    return {{"--json", false}};
}

bool takesFolder(const std::string& command)
{
    return command == "number" || command == "extension";
}

std::optional<std::int32_t> numberIn(const std::string& text, std::int32_t lowest, std::int32_t highest)
{
    const std::optional<std::int32_t> value = parseDecimalInteger(text);
    if (!value || *value < lowest || *value > highest) {
        return std::nullopt;
    }
    return value;
}

// keep, upper, lower or a given extension that starts with its dot.
bool parseExtension(const std::string& text, NamingSettings& naming, bool keepAllowed)
{
    if (text == "keep" && keepAllowed) {
        naming.extensionMode = ExtensionMode::Keep;
    } else if (text == "upper") {
        naming.extensionMode = ExtensionMode::Upper;
    } else if (text == "lower") {
        naming.extensionMode = ExtensionMode::Lower;
    } else if (!text.empty() && text.front() == '.') {
        naming.extensionMode = ExtensionMode::Specified;
        naming.givenExtension = text;
    } else {
        return false;
    }
    return true;
}

std::optional<FileOrder> parseOrder(const std::string& text)
{
    if (text == "name") {
        return FileOrder::Name;
    }
    if (text == "natural") {
        return FileOrder::NaturalName;
    }
    if (text == "modified") {
        return FileOrder::Modified;
    }
    if (text == "taken") {
        return FileOrder::Taken;
    }
    if (text == "reverse") {
        return FileOrder::Reverse;
    }
    return std::nullopt;
}

// Takes one option and its value; gives the usage error, or empty.
std::string takeOption(const std::string& option, const std::string& value, CommandArguments& parsed)
{
    NamingSettings& naming = parsed.naming;
    if (option == "--filter") {
        parsed.filter = value;
    } else if (option == "--order") {
        const std::optional<FileOrder> order = parseOrder(value);
        if (!order) {
            return "--order には name、natural、modified、taken か reverse を指定します：" + value;
        }
        parsed.order = *order;
    } else if (option == "--before") {
        naming.textBefore = value;
        naming.pattern = naming.pattern == NamePattern::NumberName || naming.pattern == NamePattern::NameNumberName
                             ? NamePattern::NameNumberName
                             : NamePattern::NameNumber;
    } else if (option == "--after") {
        naming.textAfter = value;
        naming.pattern = naming.pattern == NamePattern::NameNumber || naming.pattern == NamePattern::NameNumberName
                             ? NamePattern::NameNumberName
                             : NamePattern::NumberName;
    } else if (option == "--start") {
        const std::optional<std::int32_t> start = numberIn(value, kLowestStart, kHighestStart);
        if (!start) {
            return "--start には 0 から 99999 までの数を指定します：" + value;
        }
        naming.startNumber = *start;
    } else if (option == "--digits") {
        const std::optional<std::int32_t> digits = numberIn(value, kFewestDigits, kMostDigits);
        if (!digits) {
            return "--digits には 1 から 10 までの数を指定します：" + value;
        }
        naming.digitCount = *digits;
    } else if (option == "--ext") {
        const bool extensionOnly = parsed.command == "extension";
        if (!parseExtension(value, naming, !extensionOnly)) {
            return extensionOnly ? "--ext には upper、lower か .拡張子 を指定します：" + value
                                 : "--ext には keep、upper、lower か .拡張子 を指定します：" + value;
        }
    } else if (option == "--copy-to" || option == "--move-to") {
        const FileOperation operation = option == "--copy-to" ? FileOperation::RenameCopy : FileOperation::RenameMove;
        if (naming.operation != FileOperation::RenameOnly && naming.operation != operation) {
            return "--copy-to と --move-to は一緒に指定できません";
        }
        naming.operation = operation;
        parsed.saveFolder = value;
    } else if (option == "--replace") {
        parsed.replace = true;
    } else if (option == "--dry-run") {
        parsed.dryRun = true;
    } else if (option == "--json") {
        parsed.json = true;
    }
    return {};
}

std::string commandHelp(const std::string& command)
{
    if (command == "number") {
        return "使い方: tallyfox number フォルダ [オプション]...\n"
               "フォルダ内のファイルに、並べた順に連番の名前を付けます。ウィンドウと同じ記録を残すので、\n"
               "「tallyfox undo」やウィンドウの「元に戻す」で元に戻せます。\n"
               "名前の形はテキストの指定で決まります：なし 連番、--before テキスト＋連番、\n"
               "--after 連番＋テキスト、両方 テキスト＋連番＋テキスト。\n"
               "\n"
               "  --filter マスク\n"
               "        対象にするファイル（既定: *.*）。複数は ; で区切ります: *.jpg;*.jpeg\n"
               "  --order name|natural|modified|taken|reverse\n"
               "        番号を付ける順: 名前順（既定）、数字を考慮した名前順、更新日時順、\n"
               "        撮影日時順、名前順の逆\n"
               "  --before テキスト\n"
               "        番号の前に付けるテキスト\n"
               "  --after テキスト\n"
               "        番号の後に付けるテキスト\n"
               "  --start 数\n"
               "        最初の番号（0～99999、既定: 1）\n"
               "  --digits 数\n"
               "        番号の桁数。足りない桁は 0 で埋めます（1～10、既定: 3）\n"
               "  --ext keep|upper|lower|.拡張子\n"
               "        拡張子をそのまま（既定）、大文字、小文字にするか、指定した拡張子にします\n"
               "  --copy-to フォルダ\n"
               "        名前を変えた上で、このフォルダにコピーします\n"
               "  --move-to フォルダ\n"
               "        名前を変えた上で、このフォルダに移動します\n"
               "  --replace\n"
               "        保存フォルダの同じ名前のファイルを置き換えます（置き換えたファイルはごみ箱へ）。\n"
               "        指定しないと置き換えずに、処理できなかったファイルとして表示します\n"
               "  --dry-run\n"
               "        何も変えずに、プレビュー一覧（番号、現在の名前、新しい名前、状態）を表示します\n"
               "  --json\n"
               "        一覧と結果を JSON で表示します\n"
               "\n"
               "終了ステータス: 0 すべて処理しました、1 処理できなかったファイルがあります、\n"
               "2 使い方の誤り、3 何もせずに断りました\n";
    }
    if (command == "extension") {
        return "使い方: tallyfox extension フォルダ --ext upper|lower|.拡張子 [オプション]...\n"
               "フォルダ内のファイルの拡張子だけを変えます。名前はそのままです。\n"
               "\n"
               "  --ext upper|lower|.拡張子\n"
               "        拡張子を大文字、小文字にするか、指定した拡張子にします\n"
               "  --filter マスク\n"
               "        対象にするファイル（既定: *.*）。複数は ; で区切ります: *.jpg;*.jpeg\n"
               "  --dry-run\n"
               "        何も変えずに、プレビュー一覧（番号、現在の名前、新しい名前、状態）を表示します\n"
               "  --json\n"
               "        一覧と結果を JSON で表示します\n"
               "\n"
               "終了ステータス: 0 すべて処理しました、1 処理できなかったファイルがあります、\n"
               "2 使い方の誤り、3 何もせずに断りました\n";
    }
    if (command == "undo") {
        return "使い方: tallyfox undo [--dry-run] [--json]\n"
               "直前の処理を元に戻します。ウィンドウで実行した処理も、途中で終わった処理も戻せます。\n"
               "\n"
               "  --dry-run\n"
               "        何も変えずに、元に戻すと何をするかを表示します\n"
               "  --json\n"
               "        結果を JSON で表示します\n"
               "\n"
               "終了ステータス: 0 すべて戻しました、1 戻せなかったファイルがあります、\n"
               "2 使い方の誤り、3 何もせずに断りました\n";
    }
    return "使い方: tallyfox history [--json]\n"
           "最近の処理（日時、フォルダ、処理、ファイル数、状態）を新しい順に表示します。\n"
           "\n"
           "  --json\n"
           "        一覧を JSON で表示します\n";
}

} // namespace

bool isCommand(int argc, char** argv)
{
    return argc >= 2 && std::any_of(std::begin(kCommands), std::end(kCommands), [&](const char* command) {
               return std::strcmp(argv[1], command) == 0;
           });
}

std::string commandUsageLines()
{
    // Aligned under the program's name after "使い方: ", whose three characters take two columns each.
    return "        tallyfox number フォルダ [オプション]...\n"
           "        tallyfox extension フォルダ --ext upper|lower|.拡張子 [オプション]...\n"
           "        tallyfox undo [--dry-run] [--json]\n"
           "        tallyfox history [--json]\n";
}

std::string commandList()
{
    return "コマンド（ウィンドウを開かずに実行します）:\n"
           "  number      フォルダ内のファイルに連番の名前を付けます\n"
           "  extension   フォルダ内のファイルの拡張子だけを変えます\n"
           "  undo        直前の処理を元に戻します（ウィンドウで実行した処理も）\n"
           "  history     最近の処理を一覧にします\n"
           "コマンドのオプションは「tallyfox コマンド --help」で、詳しくは「man tallyfox」で表示します。\n";
}

std::string parseCommand(const std::vector<std::string>& arguments, CommandArguments& parsed)
{
    parsed = CommandArguments{};
    if (arguments.empty()) {
        return "コマンドを指定してください";
    }
    parsed.command = arguments[0];
    const std::vector<Option> options = optionsOf(parsed.command);
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnd || argument.empty() || argument.front() != '-' || argument == "-") {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnd = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            parsed.help = true;
            return {};
        }
        // "--name=value" or "--name value".
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const auto option = std::find_if(options.begin(), options.end(), [&](const Option& known) {
            return name == known.name;
        });
        if (option == options.end()) {
            return "不明なオプションです：" + name;
        }
        std::string value;
        if (option->takesValue) {
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return name + " には値が必要です";
            }
        } else if (equals != std::string::npos) {
            return name + " は値を取りません";
        }
        if (std::string error = takeOption(name, value, parsed); !error.empty()) {
            return error;
        }
    }
    if (takesFolder(parsed.command)) {
        if (positional.empty()) {
            return "フォルダを指定してください";
        }
        parsed.folder = positional.front();
        positional.erase(positional.begin());
    }
    if (!positional.empty()) {
        return "余分な引数です：" + positional.front();
    }
    if (parsed.command == "extension") {
        parsed.naming.operation = FileOperation::ExtensionOnly;
        if (parsed.naming.extensionMode == ExtensionMode::Keep) {
            return "--ext を指定してください（upper、lower か .拡張子）";
        }
    }
    if (parsed.replace && parsed.naming.operation != FileOperation::RenameCopy
        && parsed.naming.operation != FileOperation::RenameMove) {
        return "--replace は --copy-to か --move-to と一緒に指定します";
    }
    return {};
}

int runCommand(int argc, char** argv, platform::Syscalls& calls, std::FILE* out, std::FILE* err)
{
    // A reader that goes away (`| head`) must not end a run half-way: a failed write is only a failed write.
    std::signal(SIGPIPE, SIG_IGN);
#ifdef __GLIBC__
    // A command is one run and then the end of the process: the lists of a large run are taken from the
    // heap and given back to it for the next step, rather than mapped anew and faulted in page by page.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandArguments parsed;
    if (const std::string error = parseCommand(arguments, parsed); !error.empty()) {
        const std::string text = "tallyfox " + parsed.command + ": " + error + "\n使い方は「tallyfox " + parsed.command
                                 + " --help」で表示します。\n";
        std::fwrite(text.data(), 1, text.size(), err);
        return kUsageError;
    }
    if (parsed.help) {
        const std::string text = commandHelp(parsed.command);
        const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
        return std::fflush(out) == 0 && written ? kEveryFileDone : kFilesNotProcessed;
    }
    CommandOutput output(out, err, ::isatty(::fileno(err)) == 1);
    int exit = kEveryFileDone;
    if (parsed.command == "undo") {
        exit = runUndo(parsed, calls, output);
    } else if (parsed.command == "history") {
        exit = runHistory(parsed, calls, output);
    } else {
        exit = runRenaming(parsed, calls, output);
    }
    output.endProgress();
    std::fflush(out);
    return exit;
}

} // namespace tallyfox::app
