#pragma once
// The interface's language. Its texts live in the core's string table (resources/strings.inc),
// which stays English for the protocol and vektrinctl; the interface shows each table text
// through Qt's translation (context "Vektrin", the English text as the source), so a text added
// to the table needs only its entry in resources/translations/vektrin_ru.ts. QtCore alone, below
// the windows and the reports, which both show their texts through it, as does the headless
// scheduler.

#include "store/message_port.h"

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QCoreApplication;

namespace vektrin {

inline constexpr char TranslationContext[] = "Vektrin";

// A text of the string table in the interface's language; any other text (a task's name, a date)
// as it is, even where it reads like a table text.
QString qs(std::string_view text);

// A text of the string table as one window says it where the same English reads otherwise
// elsewhere: its translation with that window's name as the disambiguation (marked for lupdate
// with QT_TRANSLATE_NOOP3 where it is used), else the plain one.
QString qs(std::string_view text, const char* window);

// What QT_TRANSLATE_NOOP3 gives: a text and its window, listed so that lupdate finds them.
struct OwnWording {
    const char* source;
    const char* comment;
};

// Data shown as it is: never translated.
QString plainText(std::string_view text);

// A message the core composed of table texts: a whole table text, one followed by the full stop
// the general error report adds, or a table text ending in a blank or a colon ("Completed with a
// code ", "You have a problem: ") followed by the rest, which is read the same way. What is no
// table text (a path, a system error) stays as it is.
QString messageText(std::string_view text);

// A message with its identity: its format (and lead) in the interface's language, the values
// (data, shown as they are) in the places of its "%s".
QString operatorText(const OperatorText& text);

// Whether a text is one of the string table's.
bool isTableText(std::string_view text);

enum class InterfaceLanguage { English, Russian };

// The recorded language choice: "RUS" is Russian, anything else recorded English. With none
// recorded the messages' locale decides (the first set of LC_ALL, LC_MESSAGES and LANG): "ru..."
// is Russian.
InterfaceLanguage chosenLanguage(const std::optional<std::string>& recorded,
                                 std::string_view messagesLocale = {});
// The messages' locale of the environment, as chosenLanguage reads it.
std::string messagesLocale();

struct TranslationFiles {
    // The installed translation; used when it is there, else the one built into the program.
    QString installed;
    QString builtIn = QStringLiteral(":/i18n/vektrin_ru.qm");
    // Where Qt keeps its own translations (qtbase_ru.qm and the like).
    QString qtDirectory;

    // installed beside the running program, qtDirectory Qt's own.
    static TranslationFiles forProgram();
};

struct LanguageResult {
    InterfaceLanguage language = InterfaceLanguage::English;
    // One line each for standard error: why the interface stays English, or why Qt's own
    // dialogs do.
    std::vector<std::string> problems;
};

// Installs the translators of language on the application (which owns them). A translation file
// that is missing or cannot be read leaves the interface English and says why.
LanguageResult installLanguage(QCoreApplication& app, InterfaceLanguage language,
                               const TranslationFiles& files);

// Start-up: reads the choice recorded for programPath in the settings, installs its translators
// and writes each problem as one line on standard error. Runs before any window is made.
InterfaceLanguage installChosenLanguage(QCoreApplication& app, const std::string& programPath);

} // namespace vektrin
