#include "control/configuration_password.h"

#include "scripted_prompt.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

struct PasswordCase {
    QString typed;
    QString stored;
    bool matches;
};

TEST(ConfigurationPasswordTest, TypedTextIsTrimmedThenComparedExactly) {
    const PasswordCase cases[] = {
        {u"secret"_s, u"secret"_s, true},
        {u"  secret \t"_s, u"secret"_s, true},
        {u"\r\nsecret\x01"_s, u"secret"_s, true},
        {u"se cret"_s, u"se cret"_s, true}, // inner blanks stay
        {u"se cret"_s, u"secret"_s, false},
        {u"Secret"_s, u"secret"_s, false}, // case-sensitive
        {u"secret"_s, u"secret2"_s, false},
        {u"\u00A0secret"_s, u"secret"_s, false}, // a no-break space is a character, not a blank
        {u"   "_s, u""_s, true},
        {u""_s, u"secret"_s, false},
    };
    for (const PasswordCase& c : cases)
        EXPECT_EQ(ConfigurationPasswordMatches(c.typed, c.stored), c.matches) << c.typed.toStdString();
}

class ScriptedEntry final : public IPasswordEntry {
public:
    explicit ScriptedEntry(std::optional<QString> answer) : answer_(std::move(answer)) {}
    std::optional<QString> EnterPassword() override {
        ++shown;
        return answer_;
    }
    int shown = 0;

private:
    std::optional<QString> answer_;
};

struct UnlockCase {
    std::optional<QString> typed;
    TUnlockResult result;
    QStringList asked;
};

TEST(ConfigurationPasswordTest, UnlockReportsOnlyAWrongPassword) {
    const UnlockCase cases[] = {
        {u" pw "_s, TUnlockResult::Unlocked, {}},
        {std::nullopt, TUnlockResult::Cancelled, {}},
        {u"PW"_s, TUnlockResult::WrongPassword, {u"Error: Invalid password"_s}},
    };
    for (const UnlockCase& c : cases) {
        ScriptedEntry entry(c.typed);
        test::ScriptedPrompt prompt;
        EXPECT_EQ(UnlockConfiguration(entry, prompt, u"pw"_s), c.result);
        EXPECT_EQ(entry.shown, 1);
        EXPECT_EQ(prompt.asked, c.asked);
    }
}

} // namespace
} // namespace morvane
