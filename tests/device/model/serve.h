// The order in which the device serves the reads and writes it holds, apart from how the driver
// holds them (IRPs on lists, with cancel routines).
#ifndef USB1284_TESTS_DEVICE_MODEL_SERVE_H
#define USB1284_TESTS_DEVICE_MODEL_SERVE_H

#include "device.h"

namespace vdev {

// Offers the held writes, then the held reads, each in the order they came, to `stream`, and ends
// those it completes, until nothing moves: a write feeds the reads behind it, a read makes room
// for the writes. The first of a kind that stays pending keeps the rest of its kind waiting.
// `Held` is the driver's view of what it holds:
//   Item* First(bool reads), Item* Next(Item*)  the items of a kind, in order (null at the end)
//   bool Claim(Item*)   takes the item from its cancel routine; false while it is being
//                       cancelled (the cancel routine ends it: skip it)
//   bool Rearm(Item*)   gives a claimed item that stays pending back to its cancel routine;
//                       false when it was cancelled meanwhile and is still ours
//   bool IsRead(Item*), uint8_t* Buffer(Item*), uint32_t Length(Item*), uint32_t* Taken(Item*)
//   void End(Item*, uint32_t status, uint32_t information, bool cancelled)  takes it off its list
template <typename Item, typename Held>
void Serve(Stream& stream, Held& held) {
  for (bool moved = true; moved;) {
    moved = false;
    for (int kind = 0; kind < 2; ++kind) {
      for (Item* item = held.First(kind == 1); item != nullptr;) {
        Item* next = held.Next(item);
        if (held.Claim(item)) {
          const Stream::Outcome outcome =
              held.IsRead(item)
                  ? stream.Read(held.Buffer(item), held.Length(item))
                  : stream.Write(held.Buffer(item), held.Length(item), held.Taken(item));
          if (!outcome.pending) {
            held.End(item, outcome.completion.status, outcome.completion.information, false);
            moved = true;
          } else if (held.Rearm(item)) {
            break;
          } else {
            held.End(item, kStatusCancelled, held.IsRead(item) ? 0 : *held.Taken(item), true);
          }
        }
        item = next;
      }
    }
  }
}

}  // namespace vdev

#endif  // USB1284_TESTS_DEVICE_MODEL_SERVE_H
