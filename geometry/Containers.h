// Owning lists: the base of every list class of the model.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorvalis
{

/// Raised for an index outside 0..Count()-1. Message: "Container index out of bounds."
class GContainerException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// An owning list of objects of class T (or descendants of T).
///
/// Items are held by std::unique_ptr; deleting an item, clearing the container and destroying it
/// free the items exactly once. Empty (null) slots are allowed while an operation packs the list
/// (see Extract and Pack). Indices are 0-based and 32-bit signed; every indexed access is range
/// checked and raises GContainerException "Container index out of bounds." leaving the container
/// unchanged. The item class is the template parameter, so a foreign class can never be stored.
template <class T> class GContainer
{
public:
    using ItemClass = T;
    /// Called after an item was appended (Add, AppendFrom) or deleted (Delete) with its index.
    using Event = std::function<void(GContainer& sender, int index)>;

    Event OnAdd;
    Event OnDelete;

    GContainer() = default;
    GContainer(const GContainer&) = delete;
    GContainer& operator=(const GContainer&) = delete;
    GContainer(GContainer&&) noexcept = default;
    GContainer& operator=(GContainer&&) noexcept = default;
    virtual ~GContainer() = default;

    /// Number of slots (empty slots included).
    int Count() const { return static_cast<int>(items_.size()); }

    /// The item at index (nullptr for an empty slot). The container keeps ownership.
    T* GetItem(int index) const
    {
        CheckIndex(index);
        return items_[static_cast<std::size_t>(index)].get();
    }

    /// Puts item into the slot and hands the previous occupant back to the caller.
    std::unique_ptr<T> SetItem(int index, std::unique_ptr<T> item)
    {
        CheckIndex(index);
        std::swap(items_[static_cast<std::size_t>(index)], item);
        return item;
    }

    /// Appends item (taking ownership), then raises OnAdd with its index.
    void Add(std::unique_ptr<T> item)
    {
        items_.push_back(std::move(item));
        if (OnAdd)
            OnAdd(*this, Count() - 1);
    }

    /// Frees the item at index, removes its slot (later items move down), then raises OnDelete.
    void Delete(int index)
    {
        CheckIndex(index);
        items_.erase(items_.begin() + index);
        if (OnDelete)
            OnDelete(*this, index);
    }

    /// Takes the item out of its slot without freeing it; the slot stays, empty, until Pack.
    std::unique_ptr<T> Extract(int index)
    {
        CheckIndex(index);
        return std::move(items_[static_cast<std::size_t>(index)]);
    }

    /// Removes every empty slot, keeping the order of the others.
    void Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

    /// Frees every item and leaves the list empty. No event is raised.
    virtual void Clear() { items_.clear(); }

    /// Moves every item of source to the end of this list, in order (OnAdd fires per item);
    /// source ends empty and nothing is freed.
    void AppendFrom(GContainer& source)
    {
        if (&source == this)
            return;
        items_.reserve(items_.size() + source.items_.size());
        for (auto& item : source.items_)
            Add(std::move(item));
        source.items_.clear();
    }

    void Reserve(int capacity)
    {
        if (capacity > 0)
            items_.reserve(static_cast<std::size_t>(capacity));
    }

    /// Stable sort by a three-way comparison (negative: a before b).
    void Sort(const std::function<int(const T& a, const T& b)>& compare)
    {
        std::stable_sort(items_.begin(), items_.end(),
                         [&](const std::unique_ptr<T>& a, const std::unique_ptr<T>& b)
                         { return compare(*a, *b) < 0; });
    }

    bool IsEmpty() const { return items_.empty(); }

    // Iteration over the owned pointers, for loops that need no index.
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

protected:
    void CheckIndex(int index) const
    {
        if (index < 0 || index >= Count())
            throw GContainerException("Container index out of bounds.");
    }

    std::vector<std::unique_ptr<T>> items_;
};

} // namespace quorvalis
