#include "songtext/assembler.h"

#include "songtext/song_builder.h"
#include "songtext/source_parser.h"

namespace opl2::songtext {

AssembleResult Assemble(std::string_view source) {
  AssembleResult r;
  const SourceModel model = ParseSource(source, r.diagnostics);
  r.bytes = BuildSong(model, r.diagnostics);
  return r;
}

}  // namespace opl2::songtext
