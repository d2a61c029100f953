// The installed tree: both programs, the theme icons, a valid menu entry that
// opens .pak files, their file type, AppStream data, manual pages, licence and
// changelog; and the Debian package built from it, checked with lintian.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

struct Result {
    int status = -1;   // the command's exit status, -1 when it didn't exit
    std::string output;
};

Result RunCommand(const std::string& command)
{
    Result result;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char block[4096];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
            result.output.append(block, got);
        const int status = ::pclose(pipe);
        if (status != -1 && WIFEXITED(status))
            result.status = WEXITSTATUS(status);
    }
    return result;
}

std::string Output(const std::string& command)
{
    return RunCommand(command).output;
}

std::string Quoted(const std::string& path)
{
    return "'" + path + "'";
}

bool HasTool(const std::string& name)
{
    return RunCommand("command -v " + name + " >/dev/null 2>&1").status == 0;
}

// Every run of white space as one space, none at either end.
std::string Words(const std::string& text)
{
    std::string words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words += (words.empty() ? "" : " ") + word;
    return words;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The part of `text` from the line `heading` up to the next line that starts
// with `next` (or the end).
std::string Section(const std::string& text, const std::string& heading, const std::string& next)
{
    const std::size_t begin = text.find("\n" + heading + "\n");
    if (begin == std::string::npos)
        return "";
    const std::size_t end = text.find("\n" + next, begin + heading.size() + 2);
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// A manual page as plain text, without hyphenation or overstrikes.
std::string PageText(const std::string& gzipped)
{
    return Output("gzip -dc " + Quoted(gzipped) + " | groff -man -Tascii -P-cbou 2>/dev/null");
}

std::string Version(const std::string& prefix)
{
    std::string line = Output(Quoted(prefix + "/bin/pakunpack") + " --version");
    line = line.substr(0, line.find('\n'));
    return line.substr(line.find(' ') + 1);
}

std::string ReadSource(const std::string& path)
{
    return ReadBytes(SOURCE_DIR "/" + path);
}

// Installs the build into a fresh scratch prefix once for all of this suite.
class Install : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_prefix = new ScratchDir;
        const std::string install =
            Quoted(CMAKE_COMMAND) + " --install " + Quoted(BUILD_DIR) + " --prefix " + Quoted(s_prefix->Path()) + " 2>&1";
        const Result result = RunCommand(install);
        s_installed = result.status == 0;
        if (!s_installed)
            std::fprintf(stderr, "%s\n", result.output.c_str());
    }
    static void TearDownTestSuite()
    {
        delete s_prefix;
        s_prefix = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_installed) << "cmake --install failed";
    }
    static std::string At(const std::string& path) { return *s_prefix / path; }

    static ScratchDir* s_prefix;
    static bool s_installed;
};

ScratchDir* Install::s_prefix = nullptr;
bool Install::s_installed = false;

TEST_F(Install, PutsProgramsIconsAndAMenuEntryThatOpensPakFiles)
{
    for (const char* program : {"bin/Tessup", "bin/pakunpack"}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(::access(At(program).c_str(), X_OK), 0);
    }
    EXPECT_EQ(Output(Quoted(At("bin/pakunpack")) + " --version"), "pakunpack 1.0.0.1\n");

    // The program's icon stands for the file type too.
    for (const char* kind : {"apps/corvane-unpaker.png", "mimetypes/application-x-corvane-pak.png"}) {
        for (unsigned size : {16u, 32u, 48u, 64u, 128u, 256u}) {
            const std::string side = std::to_string(size);
            const std::string icon = "share/icons/hicolor/" + side + "x" + side + "/" + kind;
            SCOPED_TRACE(icon);
            EXPECT_EQ(ReadBytes(At(icon)), ReadSource("res/icons/" + side + "x" + side + "/corvane-unpaker.png"));
        }
    }

    const std::string entry = At("share/applications/corvane-unpaker.desktop");
    const std::string text = ReadBytes(entry);
    for (const char* line : {"\nName=Corvane UnPaker\n", "\nExec=Tessup %f\n", "\nIcon=corvane-unpaker\n",
                             "\nMimeType=application/x-corvane-pak;\n", "\nCategories=Utility;Archiving;"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    ASSERT_TRUE(HasTool("desktop-file-validate")) << "tools/deps.sh installs desktop-file-utils";
    EXPECT_EQ(Output("desktop-file-validate " + Quoted(entry) + " 2>&1"), "");
}

// Installing onto a prefix compiles the file type into that prefix's
// database and lists the menu entry as a program for it.
TEST_F(Install, RegistersTheFileTypeForPakFilesWithItsIconAndProgram)
{
    ASSERT_TRUE(HasTool("update-mime-database")) << "tools/deps.sh installs shared-mime-info";
    const std::vector<std::string> globs = Lines(ReadBytes(At("share/mime/globs2")));
    const auto ours = std::find(globs.begin(), globs.end(), "60:application/x-corvane-pak:*.pak");
    EXPECT_NE(ours, globs.end()) << ReadBytes(At("share/mime/globs2"));
    EXPECT_NE(ReadBytes(At("share/mime/icons")).find("application/x-corvane-pak:corvane-unpaker\n"), std::string::npos);
    EXPECT_NE(ReadBytes(At("share/applications/mimeinfo.cache")).find("\napplication/x-corvane-pak=corvane-unpaker.desktop;"),
              std::string::npos);

    // Compiled with the system's own database, where another type claims
    // *.pak as well, ours weighs the most.
    ScratchDir both;
    ASSERT_EQ(std::system(("mkdir -p " + Quoted(both / "mime/packages") +
                           " && cp /usr/share/mime/packages/freedesktop.org.xml " +
                           Quoted(At("share/mime/packages/corvane-unpaker.xml")) + " " + Quoted(both / "mime/packages") +
                           " && update-mime-database " + Quoted(both / "mime"))
                              .c_str()),
              0);
    int others = 0;
    for (const std::string& line : Lines(ReadBytes(both / "mime/globs2"))) {
        if (line.size() > 6 && line.compare(line.size() - 6, 6, ":*.pak") == 0 &&
            line.find(":application/x-corvane-pak:") == std::string::npos) {
            ++others;
            EXPECT_LT(std::atoi(line.c_str()), 60) << line;
        }
    }
    EXPECT_GE(others, 1);
}

TEST_F(Install, ShipsAppStreamDataThatValidatesAndNamesTheMenuEntry)
{
    const std::vector<std::string> found = ListTree(At("share/metainfo"));
    ASSERT_EQ(found.size(), 1u);
    const std::string file = At("share/metainfo/" + found[0]);
    const std::string xml = ReadBytes(file);

    ASSERT_TRUE(HasTool("appstreamcli")) << "tools/deps.sh installs appstream";
    const Result validation = RunCommand("appstreamcli validate --no-net " + Quoted(file) + " 2>&1");
    EXPECT_EQ(validation.status, 0) << validation.output;

    const std::string id = found[0].substr(0, found[0].find(".metainfo.xml"));
    for (const std::string& part :
         {"<id>" + id + "</id>", std::string("<launchable type=\"desktop-id\">corvane-unpaker.desktop</launchable>"),
          std::string("<mediatype>application/x-corvane-pak</mediatype>"), std::string("<binary>Tessup</binary>"),
          std::string("<binary>pakunpack</binary>"), "<release version=\"" + Version(s_prefix->Path()) + "\""}) {
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    }
    // The screenshot is the one kept in the source tree, published on the web.
    const std::size_t at = xml.find("/screenshots/");
    ASSERT_NE(at, std::string::npos);
    const std::string name = xml.substr(at + 13, xml.find('<', at) - at - 13);
    EXPECT_TRUE(Exists(SOURCE_DIR "/res/linux/screenshots/" + name)) << name;
}

TEST_F(Install, ManualPagesAreGzippedLikeDebiansAndRenderWithoutWarnings)
{
    for (const char* page : {"share/man/man1/pakunpack.1.gz", "share/man/man1/Tessup.1.gz"}) {
        SCOPED_TRACE(page);
        const std::string bytes = ReadBytes(At(page));
        ASSERT_GE(bytes.size(), 10u);
        EXPECT_EQ(bytes.compare(0, 3, "\x1f\x8b\x08"), 0);   // gzip, deflate
        EXPECT_EQ(bytes[3] & 0x08, 0);                       // no file name stored
        EXPECT_EQ(bytes.compare(4, 4, std::string(4, '\0')), 0);   // nor a time
        EXPECT_EQ(bytes[8], 2);                               // the best compression
        // What lintian runs to find a page's mistakes.
        EXPECT_EQ(Output("LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z " +
                         Quoted(At(page)) + " 2>&1 >/dev/null"),
                  "");
    }
}

// pakunpack's page is its --help, every line, and the README's examples.
TEST_F(Install, PakunpackPageHoldsItsHelpAndTheReadmeExamples)
{
    const std::string page = Words(PageText(At("share/man/man1/pakunpack.1.gz")));
    ASSERT_NE(page.find("NAME pakunpack - list, check, extract and create Corvane .pak archives SYNOPSIS"), std::string::npos)
        << page;

    const Result help = RunCommand(Quoted(At("bin/pakunpack")) + " --help");
    ASSERT_EQ(help.status, 0);
    for (std::string line : Lines(help.output)) {
        if (line.compare(0, 7, "Usage: ") == 0)
            line.erase(0, 7);
        const bool heading = !line.empty() && std::isupper(static_cast<unsigned char>(line[0])) &&
                             line.back() == ':' &&
                             line.find_first_not_of("abcdefghijklmnopqrstuvwxyz ", 1) == line.size() - 1;
        if (heading) {
            // A section of its own, "Exit status:", is the page's EXIT STATUS.
            line.pop_back();
            for (char& c : line)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        if (!Words(line).empty()) {
            EXPECT_NE(page.find(Words(line)), std::string::npos) << line;
        }
    }

    const std::string readme = Section(ReadSource("README.md"), "## The command line: pakunpack", "## ");
    ASSERT_FALSE(readme.empty());
    int examples = 0;
    for (const std::string& line : Lines(readme)) {
        if (line.compare(0, 4, "    ") == 0) {
            ++examples;
            EXPECT_NE(page.find(Words(line)), std::string::npos) << line;
        }
    }
    EXPECT_GE(examples, 6);
}

// Tessup's page names every button, status word and box that the README's
// section on the dialog names.
TEST_F(Install, TessupPageNamesWhatTheReadmeSaysTheDialogShows)
{
    const std::string page = Words(PageText(At("share/man/man1/Tessup.1.gz")));
    EXPECT_NE(page.find("SYNOPSIS Tessup [FILE] DESCRIPTION"), std::string::npos) << page;

    const std::string readme = Section(ReadSource("README.md"), "## The dialog program: Tessup", "#");
    ASSERT_FALSE(readme.empty());
    std::vector<std::string> texts;
    for (const std::string& mark : {std::string("\""), std::string("**")}) {
        for (std::size_t at = readme.find(mark); at != std::string::npos;) {
            const std::size_t end = readme.find(mark, at + mark.size());
            if (end == std::string::npos)
                break;
            texts.push_back(Words(readme.substr(at + mark.size(), end - at - mark.size())));
            at = readme.find(mark, end + mark.size());
        }
    }
    EXPECT_GE(texts.size(), 15u);
    for (const std::string& text : texts) {
        EXPECT_NE(page.find(text), std::string::npos) << text;
    }
}

TEST_F(Install, CarriesTheLicenceAsADebianCopyrightFileAndTheChangelog)
{
    const std::string copyright = ReadBytes(At("share/doc/corvane-unpaker/copyright"));
    EXPECT_EQ(copyright.compare(0, 75, "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"), 0);
    EXPECT_NE(copyright.find("\n\nFiles: *\nCopyright: 2026 the Corvane UnPaker authors\nLicense: Expat\n"),
              std::string::npos);

    // The licence text, unfolded from the field's continuation lines, is
    // LICENSE's from its first paragraph after the copyright line on.
    std::string text;
    bool inLicense = false;
    for (const std::string& line : Lines(copyright)) {
        if (line.compare(0, 9, "License: ") == 0)
            inLicense = true;
        else if (inLicense && line == " .")
            text += "\n";
        else if (inLicense && !line.empty() && line[0] == ' ')
            text += line.substr(1) + "\n";
        else
            inLicense = false;
    }
    const std::string license = ReadSource("LICENSE");
    ASSERT_NE(license.find("Copyright (c) 2026 the Corvane UnPaker authors\n\n"), std::string::npos);
    EXPECT_EQ(text, license.substr(license.find("Permission")));

    ASSERT_TRUE(HasTool("dpkg-parsechangelog")) << "tools/deps.sh installs dpkg-dev";
    ScratchDir scratch;
    ASSERT_EQ(std::system(("gzip -dc " + Quoted(At("share/doc/corvane-unpaker/changelog.gz")) + " > " +
                           Quoted(scratch / "changelog"))
                              .c_str()),
              0);
    EXPECT_EQ(Output("dpkg-parsechangelog -l " + Quoted(scratch / "changelog") + " -S Version 2>&1"),
              Version(s_prefix->Path()) + "\n");
}

// The Debian package of the same build, as tools/package.sh makes it.
TEST(Package, HoldsTheInstalledFilesAndLintianFindsNothing)
{
#ifdef PAK_SANITIZE
    GTEST_SKIP() << "the package is made from an ordinary build";
#endif
    ASSERT_TRUE(HasTool("lintian")) << "tools/deps.sh installs lintian";
    ScratchDir out;
    const Result made = RunCommand(Quoted(CPACK_COMMAND) + " --config " + Quoted(BUILD_DIR "/CPackConfig.cmake") +
                            " -G DEB -B " + Quoted(out.Path()) + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::string found = Output("ls " + Quoted(out.Path()) + "/*.deb");
    ASSERT_EQ(Lines(found).size(), 1u) << found;
    const std::string package = Lines(found)[0];

    const std::string contents = Output("dpkg-deb -c " + Quoted(package));
    for (const char* path :
         {"./usr/bin/Tessup", "./usr/bin/pakunpack", "./usr/share/applications/corvane-unpaker.desktop",
          "./usr/share/mime/packages/corvane-unpaker.xml", "./usr/share/man/man1/pakunpack.1.gz",
          "./usr/share/man/man1/Tessup.1.gz", "./usr/share/doc/corvane-unpaker/copyright",
          "./usr/share/doc/corvane-unpaker/changelog.gz", ".metainfo.xml\n",
          "./usr/share/icons/hicolor/48x48/mimetypes/application-x-corvane-pak.png"}) {
        EXPECT_NE(contents.find(path), std::string::npos) << path;
    }
    // A package build leaves the compiled database to the system's triggers.
    EXPECT_EQ(contents.find("mime.cache"), std::string::npos);
    EXPECT_EQ(Output("dpkg-deb -f " + Quoted(package) + " Section"), "utils\n");

    const Result lint = RunCommand("lintian --fail-on error,warning " + Quoted(package) + " 2>&1");
    std::string tags;
    for (const std::string& line : Lines(lint.output)) {
        if (line.find("running with root privileges") == std::string::npos)
            tags += line + "\n";
    }
    EXPECT_EQ(lint.status, 0) << lint.output;
    EXPECT_EQ(tags, "");
}

} // namespace
