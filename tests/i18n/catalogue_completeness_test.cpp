// Keeps the shipped catalogue complete as the program grows: every English text the code hands to
// the translation lookup must have a row with German and French cells.

#include "i18n/catalogue_loader.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

QString Unescape(const QString& literal) {
    QString text;
    for (qsizetype i = 0; i < literal.size(); ++i) {
        if (literal[i] != u'\\' || i + 1 == literal.size()) {
            text.append(literal[i]);
            continue;
        }
        const QChar next = literal[++i];
        text.append(next == u'n'   ? QChar(u'\n')
                    : next == u'r' ? QChar(u'\r')
                    : next == u't' ? QChar(u'\t')
                                   : next);
    }
    return text;
}

// The literal texts passed to a lookup directly (also through a run's short T helper), to a run-log
// line, or marked with TR_NOOP.
QSet<QString> TextsInSources(const QString& sourceDir) {
    static const QRegularExpression uses(
        uR"re((?:\bTranslate|TranslateText|TranslateForCurrentThread|\bT|TranslateFor\(\s*[^,()]+,)\(?\s*QStringLiteral\(\s*"((?:[^"\\]|\\.)*)"\s*\))re"
        uR"re(|\bAddToRunLog\(\s*[^,()]+,\s*(?:QStringLiteral|TR_NOOP)\(\s*"((?:[^"\\]|\\.)*)"\s*\))re"
        uR"re(|\bTR_NOOP\(\s*"((?:[^"\\]|\\.)*)"\s*\))re"_s);
    QSet<QString> texts;
    QDirIterator files(sourceDir, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString code = QString::fromUtf8(file.readAll());
        for (const QRegularExpressionMatch& match : uses.globalMatch(code))
            for (int group = 1; group <= 3; ++group)
                if (match.capturedStart(group) >= 0)
                    texts.insert(Unescape(match.captured(group)));
    }
    return texts;
}

TEST(CatalogueCompletenessTest, EveryTextOfTheProgramIsTranslated) {
    QFile file(QStringLiteral(MORVANE_SOURCE_DIR "/data/transl.dt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::optional<TTranslationTable> table = ParseTranslationFile(file.readAll());
    ASSERT_TRUE(table.has_value());
    ASSERT_EQ(table->size(), 3);
    ASSERT_EQ((*table)[1][1], u"de");
    ASSERT_EQ((*table)[2][1], u"fr");

    const QSet<QString> texts = TextsInSources(QStringLiteral(MORVANE_SOURCE_DIR "/src"));
    ASSERT_GT(texts.size(), 10) << "the scan found no texts: has the lookup's call form changed?";
    QStringList problems;
    for (const QString& text : texts) {
        const qsizetype row = table->first().indexOf(text);
        if (row < 0)
            problems.append(u"no row:        "_s + text);
        else if ((*table)[1][row].isEmpty() || (*table)[2][row].isEmpty())
            problems.append(u"empty cell:    "_s + text);
    }
    // A repeated English text leaves its later rows unused, so an edit there would never show.
    QSet<QString> seen;
    for (const QString& english : table->first()) {
        if (seen.contains(english))
            problems.append(u"repeated row:  "_s + english);
        seen.insert(english);
    }
    problems.sort();
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
}

} // namespace
} // namespace morvane
