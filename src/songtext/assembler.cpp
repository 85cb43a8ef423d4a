#include "songtext/assembler.h"

#include "songtext/song_builder.h"
#include "songtext/source_checks.h"
#include "songtext/source_parser.h"

namespace opl2::songtext {
namespace {

void AssembleInto(std::string_view source, AssembleResult& r) {
  const SourceModel model = ParseSource(source, r.diagnostics);
  r.bytes = BuildSong(model, r.diagnostics);
  // Warnings about what plays are only worth giving for a source that is
  // otherwise fine.
  if (r.diagnostics.error_count() == 0) CheckSource(model, r.diagnostics);
}

}  // namespace

AssembleResult Assemble(std::string_view source) {
  AssembleResult r;
  AssembleInto(source, r);
  return r;
}

AssembleResult Assemble(std::string_view source, Diagnostics::Sink sink) {
  AssembleResult r{{}, Diagnostics(std::move(sink))};
  AssembleInto(source, r);
  return r;
}

}  // namespace opl2::songtext
