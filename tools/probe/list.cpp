// The list command: every device that EnumerateDevices reports, as a table or as JSON.
#include "commands.h"
#include "crt.h"
#include "usb1284.h"

namespace probe {

namespace {

enum Field { kManufacturer, kModel, kTransport, kPath, kFields };

const char* const kHeadings[kFields] = {"MANUFACTURER", "MODEL", "TRANSPORT", "PATH"};
const char* const kJsonNames[kFields] = {"manufacturer", "model", "transport", "path"};

struct Row {
  char* field[kFields];
};

// Keeps a copy of every report: the strings that OnDevice gets die when it returns.
class Listing final : public DeviceSink {
 public:
  Row* rows = nullptr;
  unsigned count = 0;
  unsigned capacity = 0;
  bool outOfMemory = false;

  int OnDevice(const char* manufacturer, const char* model, const char* transport,
               const char* devicePath, const char*) override {
    if (count == capacity) {
      const unsigned grown = capacity ? capacity * 2 : 8;
      Row* more = static_cast<Row*>(realloc(rows, grown * sizeof(Row)));
      if (!more) return Stop();
      rows = more;
      capacity = grown;
    }
    Row& row = rows[count];
    const char* values[kFields] = {manufacturer, model, transport, devicePath};
    for (int f = 0; f < kFields; ++f) row.field[f] = Copy(values[f]);
    ++count;
    for (int f = 0; f < kFields; ++f) {
      if (!row.field[f]) return Stop();
    }
    return 1;
  }

  void Release() {
    for (unsigned i = 0; i < count; ++i) {
      for (int f = 0; f < kFields; ++f) free(rows[i].field[f]);
    }
    free(rows);
  }

 private:
  int Stop() {
    outOfMemory = true;
    return 0;
  }
};

void PutTable(Out& out, const Listing& listing) {
  unsigned width[kFields];
  for (int f = 0; f < kFields; ++f) {
    width[f] = Length(kHeadings[f]);
    for (unsigned i = 0; i < listing.count; ++i) {
      const unsigned n = Length(listing.rows[i].field[f]);
      if (n > width[f]) width[f] = n;
    }
  }
  for (int f = 0; f < kPath; ++f) PutCell(out, kHeadings[f], width[f] + 2);
  Put(out, kHeadings[kPath]);
  PutChar(out, '\n');
  for (unsigned i = 0; i < listing.count; ++i) {
    for (int f = 0; f < kPath; ++f) PutCell(out, listing.rows[i].field[f], width[f] + 2);
    PutCell(out, listing.rows[i].field[kPath], 0);
    PutChar(out, '\n');
  }
}

void PutJson(Out& out, const Listing& listing) {
  if (listing.count == 0) {
    Put(out, "[]\n");
    return;
  }
  Put(out, "[\n");
  for (unsigned i = 0; i < listing.count; ++i) {
    Put(out, "  {");
    for (int f = 0; f < kFields; ++f) {
      if (f) Put(out, ", ");
      PutJsonString(out, kJsonNames[f]);
      Put(out, ": ");
      PutJsonString(out, listing.rows[i].field[f]);
    }
    Put(out, i + 1 < listing.count ? "},\n" : "}\n");
  }
  Put(out, "]\n");
}

}  // namespace

int List(Console& console, const Options& options) {
  Listing listing;
  EnumerateDevices(&listing);
  int result = kSuccess;
  if (listing.outOfMemory) {
    Put(Error(console), "out of memory while listing devices");
    result = Fail(console);
  } else if (options.json) {
    PutJson(console.out, listing);
  } else if (listing.count == 0) {
    Put(console.out, "No devices found.\n");
  } else {
    PutTable(console.out, listing);
  }
  if (result == kSuccess && listing.count == 0) result = kFailed;
  listing.Release();
  return result;
}

}  // namespace probe
