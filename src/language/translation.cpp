#include "language/translation.h"

#include "platform/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#ifndef VEKTRIN_TRANSLATIONS_FROM_BINDIR
#define VEKTRIN_TRANSLATIONS_FROM_BINDIR "../share/vektrin/translations"
#endif

namespace vektrin {
namespace {

struct StringTable {
    // Each text with the literal it came from: Qt looks translations up by that source text.
    std::unordered_map<std::string_view, const char*> texts;
    // Texts that begin a longer message (they end in a blank or a colon), longest first.
    std::vector<std::string_view> prefixes;

    StringTable() {
#define VK_STRING(name, text) texts.emplace(std::string_view(text), text);
#include "resources/strings.inc"
#undef VK_STRING
        for (const auto& [text, literal] : texts)
            if (text.size() > 1 && (text.back() == ' ' || text.back() == ':'))
                prefixes.push_back(text);
        std::sort(prefixes.begin(), prefixes.end(),
                  [](std::string_view a, std::string_view b) { return a.size() > b.size(); });
    }
};

const StringTable& table() {
    static const StringTable t;
    return t;
}

const char* tableLiteral(std::string_view text) {
    const auto& texts = table().texts;
    const auto it = texts.find(text);
    return it == texts.end() ? nullptr : it->second;
}

QString translated(const char* literal) {
    return QCoreApplication::translate(TranslationContext, literal);
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

} // namespace

QString plainText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool isTableText(std::string_view text) {
    return tableLiteral(text) != nullptr;
}

QString qs(std::string_view text) {
    if (const char* literal = tableLiteral(text)) return translated(literal);
    return plainText(text);
}

QString qs(std::string_view text, const char* window) {
    const char* literal = tableLiteral(text);
    if (!literal) return plainText(text);
    const QString own = QCoreApplication::translate(TranslationContext, literal, window);
    return own != QString::fromUtf8(literal) ? own : translated(literal);
}

QString operatorText(const OperatorText& text) {
    QString shown = qs(text.format);
    qsizetype at = 0;
    for (const std::string& value : text.args) {
        at = shown.indexOf(QLatin1String("%s"), at);
        if (at < 0) break;
        const QString data = plainText(value);
        shown.replace(at, 2, data);
        at += data.size();
    }
    if (!text.lead.empty())
        shown.prepend(qs(text.lead) +
                      (text.lead.back() == ' ' ? QString() : QStringLiteral("\r\n")));
    if (text.fullStop && !shown.isEmpty() && shown.back().unicode() > '.')
        shown += QLatin1Char('.');
    return shown;
}

QString messageText(std::string_view text) {
    if (const char* literal = tableLiteral(text)) return translated(literal);
    if (text.size() > 1 && text.back() == '.') {
        if (const char* literal = tableLiteral(text.substr(0, text.size() - 1))) {
            QString t = translated(literal);
            if (!t.endsWith(QLatin1Char('.'))) t += QLatin1Char('.');
            return t;
        }
    }
    // A message of the table with more on the lines after it.
    for (std::size_t end = text.rfind("\r\n"); end != std::string_view::npos && end > 0;
         end = text.rfind("\r\n", end - 1))
        if (const char* literal = tableLiteral(text.substr(0, end)))
            return translated(literal) + QStringLiteral("\r\n") + messageText(text.substr(end + 2));
    for (std::string_view prefix : table().prefixes) {
        if (text.size() > prefix.size() && text.substr(0, prefix.size()) == prefix)
            return translated(tableLiteral(prefix)) + messageText(text.substr(prefix.size()));
    }
    return plainText(text);
}

InterfaceLanguage chosenLanguage(const std::optional<std::string>& recorded,
                                 std::string_view messagesLocale) {
    if (recorded)
        return *recorded == "RUS" ? InterfaceLanguage::Russian : InterfaceLanguage::English;
    return messagesLocale.starts_with("ru") ? InterfaceLanguage::Russian
                                            : InterfaceLanguage::English;
}

std::string messagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return value;
    return {};
}

TranslationFiles TranslationFiles::forProgram() {
    TranslationFiles files;
    files.installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/" VEKTRIN_TRANSLATIONS_FROM_BINDIR "/vektrin_ru.qm"));
    files.qtDirectory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    return files;
}

LanguageResult installLanguage(QCoreApplication& app, InterfaceLanguage language,
                               const TranslationFiles& files) {
    LanguageResult result;
    if (language != InterfaceLanguage::Russian) return result;

    // Whatever stands at the installed place (a file, a directory, a broken link) is what the
    // installation meant; the built-in copy serves a program that was not installed.
    const QFileInfo installed(files.installed);
    const QString path = !files.installed.isEmpty() && (installed.exists() || installed.isSymLink())
                             ? files.installed
                             : files.builtIn;
    QString why;
    auto* translator = new QTranslator(&app);
    if (!QFileInfo::exists(path)) {
        why = QStringLiteral("no such file");
    } else if (QFile file(path); !file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
    } else if (!translator->load(path) || translator->isEmpty()) {
        why = QStringLiteral("not a translation file");
    }
    if (!why.isEmpty()) {
        delete translator;
        result.problems.push_back("Cannot load the Russian translation " + utf8(path) + ": " +
                                  utf8(why) + "; the interface stays in English");
        return result;
    }
    app.installTranslator(translator);
    result.language = InterfaceLanguage::Russian;

    // Qt's own dialogs and buttons (print preview, file dialog, OK and Cancel) where the system
    // has Qt's translations.
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                 QStringLiteral("_"), files.qtDirectory)) {
        app.installTranslator(qt);
    } else {
        delete qt;
        result.problems.push_back("Qt's own Russian translation (qtbase_ru.qm) is not in " +
                                  utf8(files.qtDirectory) +
                                  "; its standard dialogs and buttons stay in English");
    }
    return result;
}

InterfaceLanguage installChosenLanguage(QCoreApplication& app, const std::string& programPath) {
    std::optional<std::string> recorded;
    LanguageResult result;
    try {
        recorded = SettingsStore().read(LocalesKey, programPath);
        result = installLanguage(app, chosenLanguage(recorded, messagesLocale()),
                                 TranslationFiles::forProgram());
    } catch (const std::exception& e) {
        result.problems.push_back(std::string(e.what()) + "; the interface stays in English");
    }
    for (const std::string& line : result.problems)
        std::fprintf(stderr, "vektrin: %s\n", line.c_str());
    std::fflush(stderr);
    return result.language;
}

} // namespace vektrin
