#include "imager_test_support.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace Qt::Literals::StringLiterals;

namespace morvane::testing {

namespace {

TreeEntry DiskEntry(const std::filesystem::path& path) {
    const auto status = std::filesystem::symlink_status(path);
    if (std::filesystem::is_symlink(status))
        return {'l', QByteArray::fromStdString(std::filesystem::read_symlink(path).string())};
    if (std::filesystem::is_directory(status))
        return {'d', {}};
    std::ifstream file(path, std::ios::binary);
    return {'f', QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}))};
}

char ArchiveKind(archive_entry* entry) {
    switch (archive_entry_filetype(entry)) {
    case AE_IFDIR:
        return 'd';
    case AE_IFLNK:
        return 'l';
    case AE_IFREG:
        return 'f';
    default:
        return '?';
    }
}

QByteArray ReadEntryData(archive* reader) {
    QByteArray data;
    char buffer[65536];
    la_ssize_t count = 0;
    while ((count = archive_read_data(reader, buffer, sizeof buffer)) > 0)
        data.append(buffer, count);
    EXPECT_EQ(count, 0) << archive_error_string(reader);
    return data;
}

} // namespace

void PrintTo(const TreeEntry& entry, std::ostream* stream) {
    *stream << entry.kind << ' ';
    if (entry.kind == 'l')
        *stream << entry.bytes.toStdString();
    else
        *stream << entry.bytes.size() << " bytes";
}

Tree ReadFolderTree(const QString& root) {
    const std::filesystem::path base(root.toStdString());
    Tree tree{{"./", {'d', {}}}};
    for (const auto& item : std::filesystem::recursive_directory_iterator(base))
        tree["./" + item.path().lexically_relative(base).string()] = DiskEntry(item.path());
    return tree;
}

Tree ReadArchiveTree(const QString& archivePath) {
    Tree tree;
    std::map<std::string, std::string> hardLinks;
    archive* reader = archive_read_new();
    archive_read_support_format_all(reader);
    archive_read_support_filter_all(reader);
    EXPECT_EQ(archive_read_open_filename(reader, QFile::encodeName(archivePath).constData(), 65536),
              ARCHIVE_OK)
        << archive_error_string(reader);
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK) {
        std::string name = archive_entry_pathname(entry);
        if (name != "./" && name.ends_with('/'))
            name.pop_back();
        if (const char* target = archive_entry_hardlink(entry)) {
            hardLinks[name] = target;
            continue;
        }
        TreeEntry item{ArchiveKind(entry), {}};
        if (item.kind == 'l')
            item.bytes = archive_entry_symlink(entry);
        else if (item.kind == 'f')
            item.bytes = ReadEntryData(reader);
        tree[name] = item;
    }
    EXPECT_EQ(status, ARCHIVE_EOF) << archive_error_string(reader);
    archive_read_free(reader);
    for (const auto& [name, target] : hardLinks)
        tree[name] = tree[target];
    return tree;
}

bool ImagerRun::Has(const QString& fragment) const {
    return lines.filter(fragment).size() > 0;
}

QStringList ImagerRun::ErrorLines() const {
    return lines.filter(u"ERROR"_s);
}

namespace {

ImagerRun Finish(QProcess& process) {
    EXPECT_TRUE(process.waitForFinished(180000)) << "the imaging tool did not end";
    ImagerRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    if (!run.lines.isEmpty() && run.lines.last().isEmpty())
        run.lines.removeLast();
    return run;
}

} // namespace

ImagerRun RunImager(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(MORVANE_IMAGER_PATH), arguments);
    return Finish(process);
}

ImagerRun RunShell(const QString& script) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"IMAGER"_s, QStringLiteral(MORVANE_IMAGER_PATH));
    process.setProcessEnvironment(environment);
    process.start(u"sh"_s, {u"-c"_s, script});
    return Finish(process);
}

} // namespace morvane::testing
