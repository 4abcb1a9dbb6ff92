// pe_size_report: prints the sections of each PE image named on the command line with their sizes in
// memory and in the file, so the image build shows what every section costs.
#include <cstdio>
#include <string>

#include "firmware/pe/pe_image.h"

namespace {

std::string Kind(const pe::Section &S) {
  std::string Text = S.Has(pe::ScnCode) ? "code" : S.Has(pe::ScnUninitializedData) ? "zeroed data" : "data";
  Text += S.Has(pe::ScnRead) ? " r" : " -";
  Text += S.Has(pe::ScnWrite) ? "w" : "-";
  Text += S.Has(pe::ScnExecute) ? "x" : "-";
  if (S.Has(pe::ScnDiscardable)) {
    Text += " discardable";
  }
  return Text;
}

const char *MachineName(uint16_t Machine) {
  switch (Machine) {
    case pe::MachineAmd64: return "x86-64";
    case pe::MachineI386: return "IA-32";
    default: return "unknown machine";
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pe_size_report IMAGE...\n");
    return 2;
  }
  int Status = 0;
  for (int Arg = 1; Arg < argc; ++Arg) {
    pe::ReadResult Read = pe::ReadImageFile(argv[Arg]);
    if (!Read.Value) {
      std::fprintf(stderr, "pe_size_report: %s\n", Read.Error.c_str());
      Status = 1;
      continue;
    }
    const pe::Image &Image = *Read.Value;
    std::printf("%s: %s %s, subsystem %u, %llu bytes in the file, %u bytes in memory\n", argv[Arg],
                Image.IsPe32Plus() ? "PE32+" : "PE32", MachineName(Image.Machine), Image.Subsystem,
                static_cast<unsigned long long>(Image.FileSize), Image.SizeOfImage);
    std::printf("  %-8s %8s %8s  %s\n", "section", "memory", "file", "kind");
    for (const pe::Section &S : Image.Sections) {
      std::printf("  %-8s %8u %8u  %s\n", S.Name.c_str(), S.VirtualSize, S.RawSize, Kind(S).c_str());
    }
  }
  return Status;
}
