#include "collection/PictureScan.h"

#include "base/FileSys.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace collection {

namespace {

constexpr const char16_t *kExtensions[] = {u".BMP", u".JPG", u".JPEG", u".GIF", u".ICO", u".CUR", u".WMF"};

// The same test on the file system's bytes: when the tail is plain ASCII no text is decoded,
// which keeps a scan of a large tree close to the cost of reading its folders.
bool isPictureBytes(const std::string &name)
{
    const size_t n = name.size();
    const size_t tail = std::min<size_t>(n, 5);
    for (size_t i = n - tail; i < n; ++i) {
        if (static_cast<unsigned char>(name[i]) >= 0x80)
            return IsPictureName(base::DecodeName(name.data(), n));
    }
    const auto endsWith = [&](const char *ext, size_t len) {
        if (n < len)
            return false;
        for (size_t i = 0; i < len; ++i) {
            char c = name[n - len + i];
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
            if (c != ext[i])
                return false;
        }
        return true;
    };
    return endsWith(".BMP", 4) || endsWith(".JPG", 4) || endsWith(".JPEG", 5) || endsWith(".GIF", 4)
        || endsWith(".ICO", 4) || endsWith(".CUR", 4) || endsWith(".WMF", 4);
}

struct PendingFolder
{
    QString path;     // ends in the separator
    QByteArray bytes; // the same path for the kernel
};

// Fenwick tree over "still there" flags: finds the k-th remaining entry in O(log n).
class RemainingIndex
{
public:
    explicit RemainingIndex(size_t n) : m_tree(n + 1, 0)
    {
        for (size_t i = 1; i <= n; ++i) {
            m_tree[i] += 1;
            const size_t parent = i + (i & (~i + 1));
            if (parent <= n)
                m_tree[parent] += m_tree[i];
        }
        m_top = 1;
        while (m_top * 2 <= n)
            m_top *= 2;
    }

    // Position of the k-th (0-based) remaining entry; it is then marked as taken.
    size_t take(size_t k)
    {
        size_t pos = 0;
        size_t remaining = k + 1;
        for (size_t step = m_top; step > 0; step /= 2) {
            const size_t next = pos + step;
            if (next < m_tree.size() && m_tree[next] < remaining) {
                pos = next;
                remaining -= m_tree[next];
            }
        }
        for (size_t i = pos + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] -= 1;
        return pos;
    }

private:
    std::vector<uint32_t> m_tree;
    size_t m_top = 1;
};

} // namespace

bool IsPictureName(QStringView name)
{
    for (const char16_t *ext : kExtensions) {
        const QStringView e(ext);
        if (name.size() >= e.size() && name.right(e.size()).toString().toUpper() == e)
            return true;
    }
    return false;
}

void AddPictureFiles(const QString &folder, bool includeSubDirs, clsLinkList &pictureList,
                     const base::FileSys &fileSys, ScanProgress *progress)
{
    const QString start = base::WithSeparator(folder);
    if (!fileSys.FolderExists(start))
        return;

    std::vector<QVariant> found;
    std::set<std::pair<uint64_t, uint64_t>> entered; // device and inode of every folder read
    std::vector<PendingFolder> pending{{start, base::EncodePath(start)}};
    base::RawFolder raw;
    // Depth first with an explicit stack: a very deep tree cannot overflow the call stack.
    while (!pending.empty()) {
        const PendingFolder current = std::move(pending.back());
        pending.pop_back();
        if (progress) {
            if (progress->beforeFolder)
                progress->beforeFolder();
            if (progress->cancel.load(std::memory_order_relaxed))
                return;
        }
        if (!base::ReadFolder(current.bytes, raw, includeSubDirs))
            continue; // a folder the user may not read is skipped, the rest goes on
        if (!entered.insert({raw.device, raw.inode}).second)
            continue; // reached again through a link: its pictures are in already
        for (const std::string &name : raw.files) {
            if (isPictureBytes(name))
                found.emplace_back(current.path + base::DecodeName(name.data(), name.size()));
        }
        if (progress)
            progress->found.store(int32_t(found.size()), std::memory_order_relaxed);
        if (!includeSubDirs)
            continue;
        // Real folders before links to them, so that a folder reached both ways is listed under
        // its own path when both sit side by side; otherwise name order, for a stable result.
        std::sort(raw.subFolders.begin(), raw.subFolders.end(), [](const auto &a, const auto &b) {
            return a.isLink != b.isLink ? !a.isLink : a.name < b.name;
        });
        for (auto it = raw.subFolders.rbegin(); it != raw.subFolders.rend(); ++it) {
            const QString name = base::DecodeName(it->name.data(), it->name.size());
            pending.push_back({current.path + name + base::kSeparator,
                               current.bytes + QByteArray(it->name.data(), qsizetype(it->name.size())) + '/'});
        }
    }
    pictureList.AddItems(std::move(found));
}

void DealRandomOrder(clsLinkList &from, clsLinkList &to, int32_t times, RandomSource &random)
{
    const auto drawIndex = [&random](int32_t n) {
        // r < 1, yet r x n can round up to n for large n: keep k a valid row.
        const double k = std::floor(random.Next() * double(n));
        return n <= 0 ? 0 : std::clamp<int32_t>(int32_t(k), 0, n - 1);
    };
    if (from.Dims() != 1) {
        for (int32_t i = 0; i < times; ++i) {
            const int32_t k = drawIndex(from.ListCount());
            to.AddItem(from.List(k, 0));
            from.RemoveItem(k);
        }
        return;
    }
    // When every entry is drawn (always, in the program) the entries are moved, not copied.
    const bool drawsAll = times >= from.ListCount();
    std::vector<QVariant> entries = drawsAll ? from.TakeColumn0() : from.Column0();
    RemainingIndex remaining(entries.size());
    std::vector<bool> keep(drawsAll ? 0 : entries.size(), true);
    std::vector<QVariant> drawn;
    drawn.reserve(size_t(std::max(times, 0)));
    int32_t left = int32_t(entries.size());
    for (int32_t i = 0; i < times; ++i) {
        if (left == 0) {
            drawn.emplace_back(QString("")); // reading past the end gives the empty text
            random.Next();
            continue;
        }
        const size_t pos = remaining.take(size_t(drawIndex(left)));
        if (!drawsAll)
            keep[pos] = false;
        drawn.push_back(std::move(entries[pos]));
        --left;
    }
    if (!drawsAll)
        from.RetainRows(keep);
    to.AddItems(std::move(drawn));
}

int32_t BuildShowList(const QString &folder, bool includeSubDirs, const QString &showMode,
                     clsLinkList &pictureList, clsLinkList &showList, RandomSource &random,
                     const base::FileSys &fileSys, ScanProgress *progress)
{
    pictureList.Clear();
    showList.Clear();
    // A move between the two lists carries its source's sorting over: put both back in role.
    pictureList.Sorted(true);
    showList.Dims(1);
    showList.Sorted(false);
    AddPictureFiles(folder, includeSubDirs, pictureList, fileSys, progress);
    if (progress && progress->cancel.load()) {
        pictureList.Clear();
        return 0;
    }
    const int32_t count = pictureList.ListCount();
    if (showMode == QLatin1String("Random"))
        DealRandomOrder(pictureList, showList, count, random);
    else
        showList.MoveFrom(pictureList);
    return count;
}

} // namespace collection
