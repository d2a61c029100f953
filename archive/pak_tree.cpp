// A folder's files as the inputs of a canonical archive: what the folder
// holds that an archive can't, and the order entries take.
#include "pak_writer.h"

#include "archive_file.h"
#include "folder_walk.h"

#include <algorithm>

namespace {

bool ByName(const FolderItem& a, const FolderItem& b)
{
    return a.name.Text() < b.name.Text();   // byte order: char_traits<char> compares as unsigned char
}

// The rule an item breaks for its name before anything else is looked at:
// the names the system gives that the archive can't hold as they are.
PakRule SystemNameRule(const FolderItem& item)
{
    if (!item.nameInCodePage)
        return PakRule::NameNotInCodePage;
    if (item.madeOfDeviceName)
        return PakRule::MadeOfDeviceName;
    return PakRule::None;
}

// Collects one folder's items, `dir` being the folder's name ("" for the
// top level): files as inputs, the archive itself aside, and every item that
// can't be an entry as a refusal; subfolders of the top level go to
// `folders`, deeper ones are refused.
class TreeReader {
public:
    TreeReader(PakTree& tree, const FileIdentity& archive) : m_tree(tree), m_archive(archive) {}

    void Take(const std::string& dir, const FolderItem& item, std::vector<const FolderItem*>& folders)
    {
        const std::string path = PakPath(dir, item.name.Text());
        PakRule rule = SystemNameRule(item);
        if (rule == PakRule::None) {
            switch (item.kind) {
            case ItemKind::Link: rule = PakRule::SymbolicLink; break;
            case ItemKind::Other: rule = PakRule::NotRegularFile; break;
            case ItemKind::Folder:
                if (!dir.empty()) {
                    rule = PakRule::FolderTooDeep;
                    break;
                }
                folders.push_back(&item);
                return;
            case ItemKind::File:
                if (SameFile(item.identity, m_archive)) {
                    m_tree.archiveItself.push_back(path);
                    return;
                }
                AddInput(dir, item);
                return;
            }
        }
        m_tree.refusals.push_back({item.kind == ItemKind::Folder ? path + '/' : path, rule});
    }

private:
    void AddInput(const std::string& dir, const FolderItem& item)
    {
        PakInput input;
        input.dir = dir;
        input.name = item.name.Text();
        input.size = item.size;
        input.source = item.path;
        input.sourceDevice = item.identity.device;
        input.sourceIndex = item.identity.inode;
        input.sourceKnown = item.identity.known;
        m_tree.inputs.push_back(std::move(input));
    }

    PakTree& m_tree;
    const FileIdentity& m_archive;
};

} // namespace

bool ReadPakTree(const SystemPath& folder, const SystemPath& archive, PakTree& tree, PakTreeFailure& failure)
{
    tree = PakTree{};
    failure = PakTreeFailure{};
    FileIdentity archiveId;
    IdentityOfFile(archive, archiveId);
    TreeReader reader(tree, archiveId);

    std::vector<FolderItem> top;
    FileError error;
    if (!ListFolder(folder, /*followLink=*/true, top, error)) {
        failure.reason = FailureOf(error);
        return false;
    }
    std::sort(top.begin(), top.end(), ByName);
    std::vector<const FolderItem*> folders;
    for (const FolderItem& item : top)
        reader.Take("", item, folders);

    std::vector<FolderItem> inside;
    std::vector<const FolderItem*> deeper;   // stays empty: a subfolder's folders are refused
    for (const FolderItem* sub : folders) {
        const std::string& dir = sub->name.Text();
        const PakRule rule = FolderNameRule(dir);
        if (rule != PakRule::None) {
            tree.refusals.push_back({dir + '/', rule});
            continue;
        }
        if (!ListFolder(sub->path, /*followLink=*/false, inside, error)) {
            failure.path = dir + '/';
            failure.reason = FailureOf(error);
            tree = PakTree{};
            return false;
        }
        if (inside.empty())
            tree.refusals.push_back({dir + '/', PakRule::EmptyFolder});
        std::sort(inside.begin(), inside.end(), ByName);
        for (const FolderItem& item : inside)
            reader.Take(dir, item, deeper);
    }

    const std::vector<PakRefusal> unwritable = LeaveOutUnwritable(tree.inputs);
    tree.refusals.insert(tree.refusals.end(), unwritable.begin(), unwritable.end());
    std::sort(tree.refusals.begin(), tree.refusals.end(),
              [](const PakRefusal& a, const PakRefusal& b) { return a.path < b.path; });
    std::sort(tree.archiveItself.begin(), tree.archiveItself.end());
    return true;
}
