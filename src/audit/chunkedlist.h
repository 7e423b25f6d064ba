#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

// An append-only list kept in pieces of a fixed size. What waits for the end of a big export
// grows to hundreds of thousands of entries: a vector that doubles copies all of them each time,
// holds the old copy beside the new one while it does, and takes fresh pages from the system for
// twice what it keeps. A piece, once filled, stays where it is.
template <typename T, std::size_t PieceSize = 1024> class ChunkedList
{
public:
    void push_back(T value)
    {
        if (size_ % PieceSize == 0)
            pieces_.push_back(std::make_unique<T[]>(PieceSize));
        pieces_.back()[size_ % PieceSize] = std::move(value);
        ++size_;
    }
    T& operator[](std::size_t index) { return pieces_[index / PieceSize][index % PieceSize]; }
    const T& operator[](std::size_t index) const
    {
        return pieces_[index / PieceSize][index % PieceSize];
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear()
    {
        pieces_.clear();
        size_ = 0;
    }

    // In order of appending; each piece is read through before the next.
    template <typename Visit> void forEach(Visit&& visit) const
    {
        for (std::size_t i = 0; i < size_; i += PieceSize) {
            const T* piece = pieces_[i / PieceSize].get();
            const std::size_t count = std::min(PieceSize, size_ - i);
            for (std::size_t k = 0; k < count; ++k)
                visit(piece[k]);
        }
    }

private:
    std::vector<std::unique_ptr<T[]>> pieces_;
    std::size_t size_ = 0;
};
