#pragma once

#include <cstdint>

namespace Orvex {

// Takes a picture's rows from the top down into memory it lends, so that
// whoever makes them (a decoder) never needs room for the whole picture.
class IRowSink {
 public:
  // How far a writer may run ahead of what it has reported: it asks for
  // row y only while y < done + RowsInHand(), done being its last
  // RowsDone count (0 before the first). Never less than kRowsInHand.
  static constexpr int32_t kRowsInHand = 32;

  IRowSink() = default;
  IRowSink(const IRowSink&) = delete;
  IRowSink& operator=(const IRowSink&) = delete;
  virtual ~IRowSink() = default;

  // Where row y goes: the picture's width in 32-bit pixels. Rows are asked
  // for in order from row 0; a row not yet reported done may be asked for
  // again and is then the same memory. May wait until there is room; may
  // throw to stop the writer.
  virtual uint8_t* RowFor(int32_t y) = 0;
  // Rows [0, rows) hold their final pixels. Counts grow.
  virtual void RowsDone(int32_t rows) = 0;
  // A sink with room for the whole picture allows more.
  virtual int32_t RowsInHand() const { return kRowsInHand; }
};

}  // namespace Orvex
