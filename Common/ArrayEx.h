// CArrayEx: the growable array used for every list of the core (keys, key
// ids, strings, bytes). Besides indexed access it sorts in place with a
// comparer object and finds the first index of an element.
#pragma once

#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/WinTypes.h"

// Compares two elements: negative, zero or positive.
template <class T>
class IArrayExComparer {
public:
    virtual int Compare(const T& a, const T& b) = 0;

protected:
    ~IArrayExComparer() = default;
};

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArrayEx {
public:
    CArrayEx() = default;

    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }
    void SetSize(int size) { m_items.resize(size > 0 ? static_cast<size_t>(size) : 0); }
    void RemoveAll() { m_items.clear(); }

    const TYPE& GetAt(int i) const { return m_items.at(Index(i)); }
    TYPE& ElementAt(int i) { return m_items.at(Index(i)); }
    void SetAt(int i, ARG_TYPE value) { m_items.at(Index(i)) = value; }
    const TYPE& operator[](int i) const { return GetAt(i); }
    TYPE& operator[](int i) { return ElementAt(i); }
    const TYPE* GetData() const { return m_items.data(); }
    TYPE* GetData() { return m_items.data(); }

    // Appends and returns the new element's index.
    int Add(ARG_TYPE value)
    {
        m_items.push_back(value);
        return GetSize() - 1;
    }
    int Append(const CArrayEx& other)
    {
        int first = GetSize();
        if (&other == this) {
            std::vector<TYPE> copy(m_items);
            m_items.insert(m_items.end(), copy.begin(), copy.end());
        } else {
            m_items.insert(m_items.end(), other.m_items.begin(), other.m_items.end());
        }
        return first;
    }
    void Copy(const CArrayEx& other)
    {
        if (&other != this)
            m_items = other.m_items;
    }
    void InsertAt(int i, ARG_TYPE value, int count = 1)
    {
        if (i < 0 || i > GetSize())
            throw std::out_of_range("CArrayEx::InsertAt");
        m_items.insert(m_items.begin() + i, static_cast<size_t>(count > 0 ? count : 0), value);
    }
    void RemoveAt(int i, int count = 1)
    {
        if (i < 0 || count < 0 || i + count > GetSize())
            throw std::out_of_range("CArrayEx::RemoveAt");
        m_items.erase(m_items.begin() + i, m_items.begin() + i + count);
    }

    // Index of the first element equal to `value`, or -1.
    int Find(ARG_TYPE value) const
    {
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i] == value)
                return static_cast<int>(i);
        return -1;
    }

    // In-place quicksort with the middle element of each range as pivot;
    // equal elements may change order.
    void Sort(IArrayExComparer<TYPE>& comparer)
    {
        if (m_items.size() > 1)
            QuickSort(comparer, 0, GetSize() - 1);
    }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    size_t Index(int i) const
    {
        if (i < 0 || static_cast<size_t>(i) >= m_items.size())
            throw std::out_of_range("CArrayEx index");
        return static_cast<size_t>(i);
    }

    void QuickSort(IArrayExComparer<TYPE>& comparer, int low, int high)
    {
        // Recurse into the smaller part and loop over the larger one, so the
        // stack stays logarithmic even for unlucky pivots.
        while (low < high) {
            TYPE pivot = m_items[static_cast<size_t>(low + (high - low) / 2)];
            int i = low, j = high;
            while (i <= j) {
                while (comparer.Compare(m_items[static_cast<size_t>(i)], pivot) < 0)
                    ++i;
                while (comparer.Compare(m_items[static_cast<size_t>(j)], pivot) > 0)
                    --j;
                if (i <= j) {
                    if (i != j)
                        std::swap(m_items[static_cast<size_t>(i)], m_items[static_cast<size_t>(j)]);
                    ++i;
                    --j;
                }
            }
            if (j - low < high - i) {
                QuickSort(comparer, low, j);
                low = i;
            } else {
                QuickSort(comparer, i, high);
                high = j;
            }
        }
    }

    std::vector<TYPE> m_items;
};

// Orders unsigned 32-bit values ascending.
class CDWORDComparer : public IArrayExComparer<DWORD> {
public:
    int Compare(const DWORD& a, const DWORD& b) override { return a > b ? 1 : (a < b ? -1 : 0); }
};
