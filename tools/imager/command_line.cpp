#include "command_line.h"

#include <QRegularExpression>

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace morvane::imager {

namespace {

enum class OptionKind { Flag, Value };

struct VerbForm {
    Verb verb;
    QString words; // the two words that name the command, lower case
    std::map<QString, OptionKind> options;
    QStringList required;
};

const std::vector<VerbForm>& VerbForms() {
    static const std::vector<VerbForm> forms = {
        {Verb::StartBackup,
         u"start backup"_s,
         {{u"backuptarget"_s, OptionKind::Value},
          {u"include"_s, OptionKind::Value},
          {u"allcritical"_s, OptionKind::Flag},
          {u"quiet"_s, OptionKind::Flag},
          {u"user"_s, OptionKind::Value},
          {u"password"_s, OptionKind::Value}},
         {u"backuptarget"_s, u"include"_s}},
        {Verb::DeleteBackup,
         u"delete backup"_s,
         {{u"backuptarget"_s, OptionKind::Value},
          {u"keepversions"_s, OptionKind::Value},
          {u"quiet"_s, OptionKind::Flag},
          {u"user"_s, OptionKind::Value},
          {u"password"_s, OptionKind::Value}},
         {u"backuptarget"_s, u"keepversions"_s}},
        {Verb::StopJob, u"stop job"_s, {{u"quiet"_s, OptionKind::Flag}}, {}},
    };
    return forms;
}

QString Unquoted(const QString& text) {
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        return text.mid(1, text.size() - 2);
    return text;
}

struct Option {
    QString name; // lower case, without the leading "-"
    std::optional<QString> value;
};

std::optional<Option> SplitOption(const QString& argument) {
    if (!argument.startsWith(u'-') || argument.size() < 2)
        return std::nullopt;
    const qsizetype colon = argument.indexOf(u':');
    if (colon < 0)
        return Option{argument.mid(1).toLower(), std::nullopt};
    return Option{argument.mid(1, colon - 1).toLower(), Unquoted(argument.mid(colon + 1))};
}

ParsedCommandLine Failure(const QString& error) {
    return {std::nullopt, error};
}

std::optional<QString> ApplyValue(Command& command, const QString& name, const QString& value) {
    if (name == u"backuptarget") {
        command.target = value;
    } else if (name == u"include") {
        command.volumes = value.split(u',');
        for (QString& volume : command.volumes) {
            volume = Unquoted(volume);
            if (volume.isEmpty())
                return u"The list of -include has an empty entry."_s;
        }
    } else if (name == u"keepversions") {
        bool ok = false;
        command.keepVersions = value.toInt(&ok);
        if (!ok || command.keepVersions < 0 || !value.front().isDigit())
            return u"The value of -keepversions must be a whole number of 0 or more."_s;
    } else if (name == u"user" || name == u"password") {
        command.credentialsGiven = true;
    }
    return std::nullopt;
}

ParsedCommandLine ParseOptions(const VerbForm& form, const QStringList& arguments) {
    Command command;
    command.verb = form.verb;
    QStringList seen;
    for (qsizetype index = 2; index < arguments.size(); ++index) {
        // A stray argument is not echoed: it may be part of a password that held a space.
        const std::optional<Option> option = SplitOption(arguments[index]);
        if (!option)
            return Failure(u"Argument %1 is not an option; options begin with \"-\"."_s.arg(index + 1));
        const auto known = form.options.find(option->name);
        if (known == form.options.end())
            return Failure(u"The option -%1 is not known to \"%2\"."_s.arg(option->name, form.words));
        if (seen.contains(option->name))
            return Failure(u"The option -%1 is given more than once."_s.arg(option->name));
        seen.append(option->name);
        if (known->second == OptionKind::Flag && option->value)
            return Failure(u"The option -%1 takes no value."_s.arg(option->name));
        if (known->second == OptionKind::Value && (!option->value || option->value->isEmpty()))
            return Failure(u"The option -%1 needs a value, written -%1:value."_s.arg(option->name));
        if (option->value) {
            if (const std::optional<QString> error = ApplyValue(command, option->name, *option->value))
                return Failure(*error);
        }
    }
    for (const QString& name : form.required) {
        if (!seen.contains(name))
            return Failure(u"The option -%1 is missing."_s.arg(name));
    }
    return {command, QString()};
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
    if (arguments.size() < 2)
        return Failure(u"A command is missing."_s);
    const QString words = (arguments[0] + u' ' + arguments[1]).toLower();
    for (const VerbForm& form : VerbForms()) {
        if (form.words == words)
            return ParseOptions(form, arguments);
    }
    return Failure(u"The command \"%1\" is not known."_s.arg(arguments[0] + u' ' + arguments[1]));
}

QStringList UsageLines() {
    return {u"Usage:"_s,
            u"  morvane-imager start backup -backupTarget:<folder> -include:<volume>[,<volume>...] "
            u"[-allCritical] [-quiet]"_s,
            u"  morvane-imager delete backup -backupTarget:<folder> -keepVersions:<number> [-quiet]"_s,
            u"  morvane-imager stop job [-quiet]"_s};
}

bool IsNetworkLocation(const QString& path) {
    return path.startsWith(u"\\\\"_s) || path.startsWith(u"//"_s) ||
           path.startsWith(u"smb://"_s, Qt::CaseInsensitive);
}

bool IsDriveLetterForm(const QString& path) {
    static const QRegularExpression drive(u"^[A-Za-z]:(\\\\.*)?$"_s);
    return drive.match(path).hasMatch();
}

} // namespace morvane::imager
