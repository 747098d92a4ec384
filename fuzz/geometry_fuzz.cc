// The VELTO geometry reader on any bytes, reading into arrays of exactly the
// size it may fill, so that a value stored past them is a sanitizer report:
// it reads the mesh, finds the file damaged, or refuses a count beyond the
// arrays before anything is stored.
//
// Input: a byte of node and element limits (`Front::Limits`), and the file.

#include <string>
#include <vector>

#include "formats/velto.h"
#include "fuzz_support.h"

namespace korvant::fuzz {

constexpr int kUnit = 40;

int GeometryTarget(const uint8_t* data, size_t size) {
  Front front(data, size);
  const ArrayLimits limits = front.Limits();
  const std::string_view file = front.Rest();
  const std::string path = ScratchFile("geometry", file);
  const auto nodes = static_cast<size_t>(limits.nodes);
  const auto elements = static_cast<size_t>(limits.elements);
  HeaderArrays header;
  std::vector<float> cord(2 * nodes), ao(nodes), nodeext(kVeltoNodeValues * nodes),
      elemreal(elements);
  std::vector<int32_t> nop(kVeltoCorners * elements), imat(elements), elemint2(elements);
  VeltoMesh mesh{.header = header.text(),
                 .cord = cord,
                 .ao = ao,
                 .nodeext = nodeext,
                 .nop = nop,
                 .imat = imat,
                 .elemreal = elemreal,
                 .elemint2 = elemint2};
  try {
    RecordFile in;
    in.OpenExisting(kUnit, path);
    const ReadResult result = ReadVelto(in, mesh);
    FUZZ_CHECK(!result.ok() || (mesh.np <= limits.nodes && mesh.ne <= limits.elements),
               "a mesh read with counts beyond its arrays");
    CheckTooLarge(result, {{"N1", std::nullopt, kBannerChars},
                           {"N2", std::nullopt, kHeaderInts},
                           {"N3", std::nullopt, kHeaderReals},
                           {"N4", std::nullopt, kTitleChars},
                           {"NP", std::nullopt, limits.nodes},
                           {"NE", std::nullopt, limits.elements}});
    CheckDamage(result, file);
    // The first record of either form is part 1, every later one part 2.
    FUZZ_CHECK(
        result.outcome != Outcome::kDamaged || (result.part == 1) == (result.damage.record == 1),
        "damage of the first record told as a later one, or the other way");
  } catch (const RunAborted& abort) {
    CheckAbort(abort);
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(GeometryTarget)
