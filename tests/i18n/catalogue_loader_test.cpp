#include "fixtures/temp_home.h"
#include "i18n/catalogue_loader.h"
#include "options/options.h"
#include "options/options_file.h"
#include "platform/settings_store.h"

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

// English, German, French; two texts, the second one untranslated into German.
const QByteArray ThreeLanguages = "\xEF\xBB\xBF"
                                  "3\r\n"
                                  "English\r\nDeutsch\r\nFran\xC3\xA7"
                                  "ais\r\n"
                                  "en\r\nde\r\nfr\r\n"
                                  "Backup\r\nSicherung\r\nSauvegarde\r\n"
                                  "Restore\r\n\r\nRestauration\r\n";

class CatalogueLoaderTest : public testing::TempHomeTest {
protected:
    QString TranslFile() const { return HomePath(u"transl.dt"_s); }
    SettingsStore Settings() const { return SettingsStore(HomePath(u"settings.ini"_s)); }
    void Load(int systemLanguage = 9) { LoadCatalogue(TranslFile(), Settings(), systemLanguage); }
};

TEST_F(CatalogueLoaderTest, StoredCodeSelectsItsColumnWithoutRegardToCase) {
    testing::WriteFileBytes(TranslFile(), ThreeLanguages);
    const std::pair<const char*, int> cases[] = {{"fr", 2}, {"FR", 2}, {"de", 1}, {"en", 0}, {"xx", 0}};
    for (const auto& [code, index] : cases) {
        ASSERT_TRUE(Settings().WriteString(u"CurrentLanguage"_s, QString::fromLatin1(code)));
        Load();
        EXPECT_EQ(Catalogue().CurrentLanguageIndex, index) << code;
    }
    EXPECT_EQ(Translate(u"Backup"_s), u"Backup"); // "xx" left English selected
}

TEST_F(CatalogueLoaderTest, WithoutAStoredCodeTheSystemLanguageDecides) {
    testing::WriteFileBytes(TranslFile(), ThreeLanguages);
    Load(7);
    EXPECT_EQ(Catalogue().CurrentLanguageIndex, 1);
    EXPECT_EQ(Translate(u"Backup"_s), u"Sicherung");
    EXPECT_EQ(Translate(u"backup"_s), u"backup");
    EXPECT_EQ(Translate(u"Restore"_s), u"Restore"); // empty German cell
    Load(5);                                        // Czech: no such column
    EXPECT_EQ(Catalogue().CurrentLanguageCode, u"cs");
    EXPECT_EQ(Catalogue().CurrentLanguageIndex, 0);
}

TEST_F(CatalogueLoaderTest, DamagedOrMissingFilesLeaveTheProgramInEnglish) {
    ASSERT_TRUE(Settings().WriteString(u"CurrentLanguage"_s, u"de"_s));
    const QByteArray cases[] = {
        "three\r\nEnglish\r\nDeutsch\r\n", // first line not a number
        "0\r\n",                           // no languages
        "-2\r\nx\r\ny\r\n",
        "",
        "\xFF\xFE\x00\x01", // not text at all
    };
    for (const QByteArray& bytes : cases) {
        testing::WriteFileBytes(TranslFile(), bytes);
        Load();
        EXPECT_EQ(Catalogue().CurrentLanguageIndex, 0) << bytes.toHex().toStdString();
        EXPECT_EQ(Translate(u"Backup"_s), u"Backup");
    }
    QFile::remove(TranslFile());
    Load();
    EXPECT_EQ(Catalogue().CurrentLanguageIndex, 0);
    EXPECT_TRUE(Catalogue().Table.isEmpty());
}

TEST_F(CatalogueLoaderTest, IncompleteLastRowIsIgnored) {
    testing::WriteFileBytes(TranslFile(), ThreeLanguages + "Cancel\nAbbrechen\n");
    ASSERT_TRUE(Settings().WriteString(u"CurrentLanguage"_s, u"de"_s));
    Load();
    ASSERT_EQ(Catalogue().Table.size(), 3);
    EXPECT_EQ(Catalogue().Table[0].size(), 4);
    EXPECT_EQ(Translate(u"Cancel"_s), u"Cancel");
}

TEST_F(CatalogueLoaderTest, ChoosingALanguageKeepsItForTheNextStartAndReachesTheOptions) {
    testing::WriteFileBytes(TranslFile(), ThreeLanguages);
    Load();
    ASSERT_TRUE(SetInterfaceLanguage(2, Settings()));
    EXPECT_FALSE(SetInterfaceLanguage(3, Settings()));
    EXPECT_EQ(Settings().ReadString(u"CurrentLanguage"_s), u"fr"_s);
    TOptions options;
    CopyCatalogueToOptions(options);
    EXPECT_EQ(options.Language.iLanguage, 2);
    EXPECT_EQ(LookupTranslation(options.Language.Translations, options.Language.iLanguage, u"Backup"_s),
              u"Sauvegarde");
    Load(7);
    EXPECT_EQ(Catalogue().CurrentLanguageIndex, 2);
}

TEST(SettingsStoreTest, ValuesExistOnlyOnceWritten) {
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath(u"s.ini"_s));
    EXPECT_FALSE(store.ReadString(u"CurrentLanguage"_s).has_value());
    ASSERT_TRUE(store.WriteString(u"Other"_s, u"1"_s));
    EXPECT_FALSE(store.ReadString(u"CurrentLanguage"_s).has_value());
    ASSERT_TRUE(store.WriteString(u"CurrentLanguage"_s, QString()));
    EXPECT_EQ(store.ReadString(u"CurrentLanguage"_s), QString());
    const SettingsStore unwritable(dir.filePath(u"no/such/folder/s.ini"_s));
    testing::WriteFileBytes(dir.filePath(u"no"_s), "a file, not a folder");
    EXPECT_FALSE(unwritable.WriteString(u"CurrentLanguage"_s, u"de"_s));
}

} // namespace
} // namespace morvane
