// Keeps the shipped catalogue complete as the program grows: every English text the code hands to
// the translation lookup must have a row with German and French cells.

#include "i18n/catalogue_loader.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

// Every function that hands one of its arguments to the lookup, and how many arguments come before
// that one. A literal passed there is a text of the program even though no lookup is in sight.
struct TranslatingHelper {
    QString name;
    int argumentsBefore;
};

const QList<TranslatingHelper>& TranslatingHelpers() {
    static const QList<TranslatingHelper> helpers = {
        {u"Translate"_s, 0},
        {u"TranslateText"_s, 0},
        {u"TranslateForCurrentThread"_s, 0},
        {u"TranslateFor"_s, 1},
        {u"T"_s, 0},           // the runs' short lookup
        {u"AddToRunLog"_s, 1}, // a run-log line
        {u"AddMarkedLine"_s, 1},
        {u"Line"_s, 0}, // the backup run's log line
        {u"PrepareFolder"_s, 1}, // the start-up's "created" and "unable to create" texts
        {u"PrepareFolder"_s, 2},
    };
    return helpers;
}

// One argument: anything without commas or parentheses, or one level of parentheses.
const QString Argument = uR"re((?:[^,()]|\([^()]*\))+,\s*)re"_s;

QStringList SourceFiles(const QString& sourceDir) {
    QStringList paths;
    QDirIterator files(sourceDir, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext())
        paths.append(files.next());
    return paths;
}

QString ReadCode(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

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

// The literal texts passed to a translating helper in its translated place, or marked with TR_NOOP.
QSet<QString> TextsInSources(const QString& sourceDir) {
    QStringList calls;
    for (const TranslatingHelper& helper : TranslatingHelpers())
        calls.append(
            uR"re(\b%1\(\(?\s*(?:%2){%3}(?:QStringLiteral|TR_NOOP)\(\s*"((?:[^"\\]|\\.)*)"\s*\))re"_s.arg(
                helper.name, Argument, QString::number(helper.argumentsBefore)));
    calls.append(uR"re(\bTR_NOOP\(\s*"((?:[^"\\]|\\.)*)"\s*\))re"_s);
    QList<QRegularExpression> uses;
    for (const QString& call : calls)
        uses.append(QRegularExpression(call));
    QSet<QString> texts;
    for (const QString& path : SourceFiles(sourceDir)) {
        const QString code = ReadCode(path);
        for (const QRegularExpression& use : uses)
            for (const QRegularExpressionMatch& match : use.globalMatch(code))
                texts.insert(Unescape(match.captured(1)));
    }
    return texts;
}

// Functions that pass one of their text parameters on to a listed helper, found in one-line bodies
// and in bodies up to their closing brace at the start of a line.
QStringList UnlistedTranslatingFunctions(const QString& sourceDir) {
    static const QRegularExpression definition(
        uR"re(\b(\w+)\(((?:[^()]|\(\))*QString&?\s+\w+(?:[^()]|\(\))*)\)\s*(?:const\s*)?\{(?:([^\n]*)\}[ \t]*$|[ \t]*\n(.*?)^\}))re"_s,
        QRegularExpression::MultilineOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression parameter(uR"re(QString&?\s+(\w+))re"_s);
    QSet<QString> listed;
    for (const TranslatingHelper& helper : TranslatingHelpers())
        listed.insert(helper.name);
    QList<QRegularExpression> helperCalls;
    for (const TranslatingHelper& helper : TranslatingHelpers())
        helperCalls.append(QRegularExpression(uR"re(\b%1\((?:%2){%3}(\w+)\s*[,)])re"_s.arg(
            helper.name, Argument, QString::number(helper.argumentsBefore))));
    QStringList unlisted;
    for (const QString& path : SourceFiles(sourceDir)) {
        const QString code = ReadCode(path);
        for (const QRegularExpressionMatch& function : definition.globalMatch(code)) {
            if (listed.contains(function.captured(1)))
                continue;
            QSet<QString> parameters;
            for (const QRegularExpressionMatch& p : parameter.globalMatch(function.captured(2)))
                parameters.insert(p.captured(1));
            const QString body = function.captured(3) + function.captured(4);
            for (const QRegularExpression& helperCall : helperCalls)
                for (const QRegularExpressionMatch& call : helperCall.globalMatch(body))
                    if (parameters.contains(call.captured(1)))
                        unlisted.append(function.captured(1) + u" in "_s + path);
        }
    }
    unlisted.removeDuplicates();
    return unlisted;
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

// The texts handed to a helper are found only when the helper is listed above.
TEST(CatalogueCompletenessTest, EveryHelperThatTranslatesItsArgumentIsListed) {
    const QStringList unlisted = UnlistedTranslatingFunctions(QStringLiteral(MORVANE_SOURCE_DIR "/src"));
    EXPECT_TRUE(unlisted.isEmpty()) << unlisted.join(u'\n').toStdString();
}

// The scan itself, on texts passed the ways the code passes them.
TEST(CatalogueCompletenessTest, ScanFindsTextsPassedThroughEachHelper) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(u"sample.cpp"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Line(QStringLiteral(\"one\"));\n"
               "Line(QStringLiteral(\"two\"), path);\n"
               "AddToRunLog(job, QStringLiteral(\"three\"), Stored(name));\n"
               "AddToRunLog(Owner(job, 1), QStringLiteral(\"four\"));\n"
               "x = job.TranslateText(\n    QStringLiteral(\"five\"));\n"
               "y = TranslateFor(translator, QStringLiteral(\"six\"));\n"
               "z = TR_NOOP(\"seven\");\n"
               "ListLine(QStringLiteral(\"not a text\"));\n"
               "AddToRunLog(QStringLiteral(\"a path, not a text\"), job);\n");
    file.close();
    const QSet<QString> expected = {u"one"_s,  u"two"_s, u"three"_s, u"four"_s,
                                    u"five"_s, u"six"_s, u"seven"_s};
    EXPECT_EQ(TextsInSources(dir.path()), expected);
}

} // namespace
} // namespace morvane
