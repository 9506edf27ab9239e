#pragma once

#include <QVector>
#include <QtGlobal>

namespace korvane {

// Ordered, non-overlapping ranges [start, end] (inclusive) carrying a value;
// a new range replaces whatever the list held inside it.
template <typename T> class QHexEditRangeList
{
public:
    struct Range
    {
        qint64 start;
        qint64 end;
        T value;
    };

    const QVector<Range>& ranges() const { return list; }
    bool isEmpty() const { return list.isEmpty(); }
    void clear() { list.clear(); }

    // The range covering pos, or nullptr.
    const Range* find(qint64 pos) const
    {
        int lo = 0;
        int hi = list.size() - 1;
        while (lo <= hi) {
            const int mid = lo + (hi - lo) / 2;
            const Range& r = list.at(mid);
            if (pos < r.start)
                hi = mid - 1;
            else if (pos > r.end)
                lo = mid + 1;
            else
                return &r;
        }
        return nullptr;
    }

    void insert(qint64 s, qint64 e, const T& value)
    {
        if (s > e) // an empty range stores nothing
            return;
        const Range added{s, e, value};
        int i = 0;
        for (; i < list.size(); ++i) {
            Range& r = list[i];
            if (r.end < s)
                continue;
            if (r.start > e) {
                list.insert(i, added);
                return;
            }
            if (r.start < s) {
                if (r.end > e) {
                    Range tail = r;
                    tail.start = e + 1;
                    r.end = s - 1;
                    list.insert(i + 1, tail);
                    list.insert(i + 1, added);
                    return;
                }
                r.end = s - 1;
                ++i;
                break;
            }
            if (r.end > e) {
                r.start = e + 1;
                list.insert(i, added);
                return;
            }
            break;
        }
        // Drop or cut the records that the new range covers.
        while (i < list.size() && list.at(i).start <= e) {
            Range& r = list[i];
            if (r.end <= e) {
                list.remove(i);
                continue;
            }
            r.start = e + 1;
            break;
        }
        list.insert(i, added);
    }

    void remove(qint64 s, qint64 e)
    {
        if (s > e)
            return;
        int i = 0;
        while (i < list.size()) {
            Range& r = list[i];
            if (r.end < s) {
                ++i;
                continue;
            }
            if (r.start > e)
                return;
            if (r.start < s) {
                if (r.end > e) {
                    Range tail = r;
                    tail.start = e + 1;
                    r.end = s - 1;
                    list.insert(i + 1, tail);
                    return;
                }
                r.end = s - 1;
                ++i;
                continue;
            }
            if (r.end <= e) {
                list.remove(i);
                continue;
            }
            r.start = e + 1;
            return;
        }
    }

private:
    QVector<Range> list;
};

} // namespace korvane
