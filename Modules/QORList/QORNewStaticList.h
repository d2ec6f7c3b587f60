// TQORNewStaticList: the growable array that every subsystem keeps its lists in.
//
// Invariants: Count() <= Capacity(); items [0, Count()) are valid; the list owns
// only its storage, never what pointer elements point to (owners delete those).
// Growth happens in steps of GrowthStep() elements so that lists that grow one
// entry at a time (the event queue, tree item lists) keep their capacities
// predictable; Clear() releases the storage when the shrink-on-clear flag is set.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <vector>

template <class T>
class TQORNewStaticList {
public:
    explicit TQORNewStaticList(int growthStep = 16, bool shrinkOnClear = true)
        : growthStep_(growthStep < 1 ? 1 : growthStep), shrinkOnClear_(shrinkOnClear) {}
    virtual ~TQORNewStaticList() = default;

    TQORNewStaticList(const TQORNewStaticList&) = default;
    TQORNewStaticList& operator=(const TQORNewStaticList&) = default;

    int Count() const { return int(items_.size()); }
    int Capacity() const { return int(items_.capacity()); }
    int GrowthStep() const { return growthStep_; }
    void SetGrowthStep(int step) { growthStep_ = step < 1 ? 1 : step; }
    bool IsEmpty() const { return items_.empty(); }

    T& operator[](int i) { assert(i >= 0 && i < Count() && "list index out of range"); return items_[size_t(i)]; }
    const T& operator[](int i) const { assert(i >= 0 && i < Count() && "list index out of range"); return items_[size_t(i)]; }
    T& Last() { assert(!items_.empty() && "Last() needs a non-empty list"); return items_.back(); }

    T* Items() { return items_.data(); }
    const T* Items() const { return items_.data(); }

    // Appends and returns the new index.
    int Add(const T& item) { Reserve(Count() + 1); items_.push_back(item); return Count() - 1; }
    void Insert(int index, const T& item)
    {
        assert(index >= 0 && index <= Count() && "Insert index must lie in 0..Count()");
        Reserve(Count() + 1);
        items_.insert(items_.begin() + index, item);
    }
    void Delete(int index)
    {
        assert(index >= 0 && index < Count() && "Delete index out of range");
        items_.erase(items_.begin() + index);
    }
    // Removes the first element equal to item; true when one was found.
    bool Remove(const T& item)
    {
        int i = Find(item);
        if (i < 0) return false;
        Delete(i);
        return true;
    }
    int Find(const T& item) const
    {
        auto it = std::find(items_.begin(), items_.end(), item);
        return it == items_.end() ? -1 : int(it - items_.begin());
    }
    void Clear()
    {
        items_.clear();
        if (shrinkOnClear_) items_.shrink_to_fit();
    }
    // Sets the count; new elements are value-initialised.
    void SetCount(int n) { Reserve(n); items_.resize(size_t(n < 0 ? 0 : n)); }
    void Reserve(int n)
    {
        if (n <= Capacity()) return;
        int cap = Capacity();
        while (cap < n) cap += growthStep_;
        items_.reserve(size_t(cap));
    }

    // Quicksort with the first element of the range as pivot; elements that
    // compare below 0 against the pivot move to the front part in scan order.
    // The exact element order for equal keys is part of what callers see
    // (sorted brush libraries), so this is not std::sort.
    template <class Compare>
    void QuickSort(int first, int last, Compare compare)
    {
        while (first < last) {
            int p = first;
            for (int k = first + 1; k <= last; ++k)
                if (compare(items_[size_t(k)], items_[size_t(first)]) < 0)
                    std::swap(items_[size_t(++p)], items_[size_t(k)]);
            std::swap(items_[size_t(first)], items_[size_t(p)]);
            QuickSort(first, p - 1, compare);
            first = p + 1;
        }
    }

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T> items_;
    int growthStep_;
    bool shrinkOnClear_;
};
