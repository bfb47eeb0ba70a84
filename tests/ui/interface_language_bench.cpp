// Measures what the Russian interface adds to the start-up: loading the translations as the
// program does (ours from the built-in resource, Qt's own from the system), then making and
// starting the main window, which builds every window and editor with its texts, on real tables
// of a hundred tasks. English and Russian runs alternate; prints the medians; asserts nothing.
//
//   QT_QPA_PLATFORM=offscreen interface_language_bench [runs]

#include "language/translation.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace vektrin;
using Stopwatch = std::chrono::steady_clock;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One start-up in language: translators installed, main window made and started; returns
// milliseconds. The window and the translators go afterwards, outside the measured time.
double startUp(test::UiEnv& env, InterfaceLanguage language) {
    const auto before = QCoreApplication::instance()->findChildren<QTranslator*>();
    const auto t = Stopwatch::now();
    TranslationFiles files;
    files.qtDirectory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    installLanguage(*QCoreApplication::instance(), language, files);
    auto form = std::make_unique<TMainForm>(env.platform());
    if (form->start() != -1) std::abort();
    QCoreApplication::processEvents();
    const double ms = std::chrono::duration<double, std::milli>(Stopwatch::now() - t).count();
    form->shutdown();
    form.reset();
    for (QTranslator* tr : QCoreApplication::instance()->findChildren<QTranslator*>())
        if (!before.contains(tr)) {
            QCoreApplication::removeTranslator(tr);
            delete tr;
        }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 41;
    test::UiEnv env;
    {
        auto form = env.startForm();
        for (int i = 0; i < 100; ++i)
            test::addTask(*form, "Задача " + std::to_string(i));
        form->shutdown();
    }
    startUp(env, InterfaceLanguage::English); // warm-up: fonts, style, plug-ins
    startUp(env, InterfaceLanguage::Russian);
    std::vector<double> english, russian;
    for (int i = 0; i < runs; ++i) {
        english.push_back(startUp(env, InterfaceLanguage::English));
        russian.push_back(startUp(env, InterfaceLanguage::Russian));
    }
    const double e = median(english), r = median(russian);
    std::printf("start-up, English: %.2f ms (median of %d)\n", e, runs);
    std::printf("start-up, Russian: %.2f ms (median of %d)\n", r, runs);
    std::printf("difference:        %.2f ms\n", r - e);
    return 0;
}
