#include "qhexedit/qhexeditdata_p.h"

#include <algorithm>

namespace korvane {

bool QHexEditDataRuns::find(qint64 pos, Found* found) const
{
    if (runCount == 0 || pos < 0 || pos > total)
        return false;
    if (pos == total) {
        found->run = blocks.back().entries.back().run;
        found->start = total;
        found->index = runCount;
        return true;
    }
    qint64 start = 0;
    const int b = blockByOffset(pos, &start);
    int index = 0;
    for (int k = b; k > 0; k -= k & -k)
        index += fenCount[size_t(k)];
    const Block& block = blocks[size_t(b)];
    for (const Entry& e : block.entries) {
        if (pos < start + e.length) {
            found->run = e.run;
            found->start = start;
            found->index = index;
            return true;
        }
        start += e.length;
        ++index;
    }
    return false; // unreachable while the caches are consistent
}

DataRunPtr QHexEditDataRuns::at(int index) const
{
    if (index < 0 || index >= runCount)
        return {};
    int b = 0;
    int i = 0;
    locateIndex(index, &b, &i);
    return blocks[size_t(b)].entries[size_t(i)].run;
}

qint64 QHexEditDataRuns::startOf(int index) const
{
    if (index >= runCount)
        return total;
    if (index <= 0)
        return 0;
    int b = 0;
    int i = 0;
    locateIndex(index, &b, &i);
    qint64 start = 0;
    for (int k = b; k > 0; k -= k & -k)
        start += fenLength[size_t(k)];
    const Block& block = blocks[size_t(b)];
    for (int j = 0; j < i; ++j)
        start += block.entries[size_t(j)].length;
    return start;
}

void QHexEditDataRuns::locateIndex(int index, int* block, int* inBlock) const
{
    if (blocks.empty()) {
        *block = 0;
        *inBlock = 0;
        return;
    }
    if (index >= runCount) {
        *block = int(blocks.size()) - 1;
        *inBlock = int(blocks.back().entries.size());
        return;
    }
    // Largest prefix of blocks whose run count does not exceed index.
    const int m = int(blocks.size());
    int idx = 0;
    int acc = 0;
    for (int step = fenTop; step > 0; step >>= 1) {
        const int next = idx + step;
        if (next <= m && acc + fenCount[size_t(next)] <= index) {
            idx = next;
            acc += fenCount[size_t(next)];
        }
    }
    *block = idx;
    *inBlock = index - acc;
}

int QHexEditDataRuns::blockByOffset(qint64 pos, qint64* blockStart) const
{
    const int m = int(blocks.size());
    int idx = 0;
    qint64 acc = 0;
    for (int step = fenTop; step > 0; step >>= 1) {
        const int next = idx + step;
        if (next <= m && acc + fenLength[size_t(next)] <= pos) {
            idx = next;
            acc += fenLength[size_t(next)];
        }
    }
    *blockStart = acc;
    return idx;
}

void QHexEditDataRuns::rebuildIndex()
{
    const int m = int(blocks.size());
    fenLength.assign(size_t(m) + 1, 0);
    fenCount.assign(size_t(m) + 1, 0);
    for (int k = 1; k <= m; ++k) {
        fenLength[size_t(k)] += blocks[size_t(k - 1)].total;
        fenCount[size_t(k)] += int(blocks[size_t(k - 1)].entries.size());
        const int parent = k + (k & -k);
        if (parent <= m) {
            fenLength[size_t(parent)] += fenLength[size_t(k)];
            fenCount[size_t(parent)] += fenCount[size_t(k)];
        }
    }
    fenTop = 1;
    while (fenTop * 2 <= m)
        fenTop *= 2;
    if (m == 0)
        fenTop = 0;
}

void QHexEditDataRuns::addToIndex(int block, qint64 lengthDelta, int countDelta)
{
    const int m = int(blocks.size());
    for (int k = block + 1; k <= m; k += k & -k) {
        fenLength[size_t(k)] += lengthDelta;
        fenCount[size_t(k)] += countDelta;
    }
}

void QHexEditDataRuns::splice(int index, int removeCount, const DataRunList& added)
{
    if (removeCount <= 0 && added.empty())
        return;
    if (blocks.empty())
        blocks.emplace_back();
    int b = 0;
    int i = 0;
    locateIndex(index, &b, &i);

    // Common case of an edit: the runs taken out lie in one block; overwrite them in place and shift the
    // block's tail only by the difference.
    if (removeCount > 0 && !added.empty() && i + removeCount <= int(blocks[size_t(b)].entries.size()) &&
        fenLength.size() == blocks.size() + 1) {
        Block& block = blocks[size_t(b)];
        const int common = std::min(removeCount, int(added.size()));
        qint64 delta = 0;
        for (int k = 0; k < common; ++k) {
            Entry& e = block.entries[size_t(i + k)];
            delta -= e.length;
            e.run = added[size_t(k)];
            e.length = e.run->length;
            delta += e.length;
        }
        if (removeCount > common) {
            for (int k = i + common; k < i + removeCount; ++k)
                delta -= block.entries[size_t(k)].length;
            block.entries.erase(block.entries.begin() + i + common, block.entries.begin() + i + removeCount);
        } else if (int(added.size()) > common) {
            std::vector<Entry> extra;
            extra.reserve(added.size() - size_t(common));
            for (size_t k = size_t(common); k < added.size(); ++k) {
                extra.push_back({added[k], added[k]->length});
                delta += added[k]->length;
            }
            block.entries.insert(block.entries.begin() + i + common, std::make_move_iterator(extra.begin()),
                                 std::make_move_iterator(extra.end()));
        }
        const int countDelta = int(added.size()) - removeCount;
        block.total += delta;
        total += delta;
        runCount += countDelta;
        const int before = int(blocks.size());
        normalise(b, b);
        if (int(blocks.size()) != before || needRebuild) {
            needRebuild = false;
            rebuildIndex();
        } else {
            addToIndex(b, delta, countDelta);
        }
        return;
    }

    // Take the runs out, possibly across several blocks; the insertion point stays at (b, i).
    int remaining = std::max(removeCount, 0);
    int last = b;
    qint64 firstBlockDelta = 0;
    int firstBlockCount = 0;
    for (int cb = b, ci = i; remaining > 0 && cb < int(blocks.size()); ++cb, ci = 0) {
        Block& block = blocks[size_t(cb)];
        const int n = std::min(remaining, int(block.entries.size()) - ci);
        qint64 sum = 0;
        for (int k = ci; k < ci + n; ++k)
            sum += block.entries[size_t(k)].length;
        block.entries.erase(block.entries.begin() + ci, block.entries.begin() + ci + n);
        block.total -= sum;
        total -= sum;
        runCount -= n;
        remaining -= n;
        last = cb;
        if (cb == b) {
            firstBlockDelta -= sum;
            firstBlockCount -= n;
        }
    }

    if (!added.empty()) {
        Block& block = blocks[size_t(b)];
        std::vector<Entry> entries;
        entries.reserve(added.size());
        qint64 sum = 0;
        for (const DataRunPtr& run : added) {
            entries.push_back({run, run->length});
            sum += run->length;
        }
        block.entries.insert(block.entries.begin() + i, std::make_move_iterator(entries.begin()),
                             std::make_move_iterator(entries.end()));
        block.total += sum;
        total += sum;
        runCount += int(added.size());
        firstBlockDelta += sum;
        firstBlockCount += int(added.size());
    }

    const bool structural = last != b || int(fenLength.size()) != int(blocks.size()) + 1;
    const int before = int(blocks.size());
    normalise(b, last);
    if (structural || int(blocks.size()) != before || needRebuild) {
        needRebuild = false;
        rebuildIndex();
    } else {
        addToIndex(b, firstBlockDelta, firstBlockCount);
    }
}

// Drops emptied blocks, splits oversized ones and folds small ones into a neighbour.
void QHexEditDataRuns::normalise(int first, int last)
{
    for (int k = last; k >= first; --k) {
        if (blocks[size_t(k)].entries.empty())
            blocks.erase(blocks.begin() + k);
    }
    if (first >= int(blocks.size()))
        return;
    if (int(blocks[size_t(first)].entries.size()) > MaxBlock) {
        std::vector<Entry> all = std::move(blocks[size_t(first)].entries);
        std::vector<Block> pieces;
        // Even pieces of about half the maximum, so no tiny remainder is left behind.
        const size_t count = (all.size() + size_t(MaxBlock / 2) - 1) / size_t(MaxBlock / 2);
        for (size_t k = 0; k < count; ++k) {
            Block block;
            const size_t from = all.size() * k / count;
            const size_t to = all.size() * (k + 1) / count;
            block.entries.assign(std::make_move_iterator(all.begin() + long(from)),
                                 std::make_move_iterator(all.begin() + long(to)));
            for (const Entry& e : block.entries)
                block.total += e.length;
            pieces.push_back(std::move(block));
        }
        blocks.erase(blocks.begin() + first);
        blocks.insert(blocks.begin() + first, std::make_move_iterator(pieces.begin()),
                      std::make_move_iterator(pieces.end()));
        needRebuild = true;
        return;
    }
    if (int(blocks[size_t(first)].entries.size()) < MinBlock && blocks.size() > 1) {
        const int other = first + 1 < int(blocks.size()) ? first + 1 : first - 1;
        const int lo = std::min(first, other);
        Block& a = blocks[size_t(lo)];
        Block& c = blocks[size_t(lo + 1)];
        if (int(a.entries.size() + c.entries.size()) <= MaxBlock) {
            a.entries.insert(a.entries.end(), std::make_move_iterator(c.entries.begin()),
                             std::make_move_iterator(c.entries.end()));
            a.total += c.total;
            blocks.erase(blocks.begin() + lo + 1);
        }
    }
}

void QHexEditDataRuns::lengthChanged(int index)
{
    if (index < 0 || index >= runCount)
        return;
    int b = 0;
    int i = 0;
    locateIndex(index, &b, &i);
    Entry& e = blocks[size_t(b)].entries[size_t(i)];
    const qint64 delta = e.run->length - e.length;
    e.length = e.run->length;
    blocks[size_t(b)].total += delta;
    total += delta;
    addToIndex(b, delta, 0);
}

qint64 QHexEditDataRuns::sumOfRunLengths() const
{
    qint64 sum = 0;
    for (const Block& block : blocks) {
        for (const Entry& e : block.entries)
            sum += e.run->length;
    }
    return sum;
}

bool QHexEditDataRuns::checkCaches() const
{
    qint64 sum = 0;
    int count = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const Block& block = blocks[b];
        if (block.entries.empty())
            return false;
        qint64 blockSum = 0;
        for (const Entry& e : block.entries) {
            if (e.length != e.run->length)
                return false;
            blockSum += e.length;
        }
        if (blockSum != block.total)
            return false;
        qint64 prefix = 0;
        int prefixCount = 0;
        for (int k = int(b); k > 0; k -= k & -k) {
            prefix += fenLength[size_t(k)];
            prefixCount += fenCount[size_t(k)];
        }
        if (prefix != sum || prefixCount != count)
            return false;
        sum += blockSum;
        count += int(block.entries.size());
    }
    return sum == total && count == runCount;
}

} // namespace korvane
