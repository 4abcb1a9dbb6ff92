// The text form of an SMBIOS table: one block per record.
#include "tools/boardsim/table_printer.h"

#include <string>

#include "tools/boardsim/record_decoders.h"
#include "tools/boardsim/record_fields.h"

namespace boardsim {

namespace {
constexpr size_t kHexPerLine = 16;
}

void PrintRecord(std::ostream& out, const sim::SmbiosRecordView& record) {
  size_t length = record.bytes.size() < 2 ? 0 : std::min<size_t>(record.bytes[1], record.bytes.size());
  out << "Handle " << Hex16(record.handle) << ", type " << int(record.type) << ", length " << length << " ("
      << Hex8(static_cast<uint8_t>(length)) << "), " << record.bytes.size() << " bytes with strings\n";
  out << "  Formatted area:\n";
  for (size_t i = 0; i < length; i += kHexPerLine) {
    out << "    " << HexBytes(record.bytes.data() + i, std::min(kHexPerLine, length - i)) << "\n";
  }
  if (record.strings.empty()) {
    out << "  Strings: none\n";
  } else {
    out << "  Strings:\n";
    for (size_t i = 0; i < record.strings.size(); ++i) out << "    " << i + 1 << ": \"" << record.strings[i] << "\"\n";
  }
  if (const DecoderEntry* decoder = FindDecoder(record.type)) {
    out << "  " << decoder->name << ":\n";
    RecordFields fields(std::vector<uint8_t>(record.bytes.begin(), record.bytes.begin() + length), record.strings);
    for (const DecodedField& f : decoder->decode(fields)) {
      out << std::string(4 + 2 * f.depth, ' ') << f.name << ": " << f.value << "\n";
    }
  }
}

void PrintTable(std::ostream& out, const std::vector<sim::SmbiosRecordView>& records) {
  for (const auto& record : records) {
    PrintRecord(out, record);
    out << "\n";
  }
}

}  // namespace boardsim
