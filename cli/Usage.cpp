#include "cli/Usage.h"

#include "engines/names/PiecePolicy.h"
#include "shardix/Version.h"

#include <string_view>

namespace shardix::cli {

namespace {

// The usage, with {max} for the largest count of pieces, {digits} for the most
// digits of padded numbers, and {suffix} and {script} for what follows the base
// name in a manifest's and a join script's name, all from the naming policy.
constexpr std::string_view kUsage =
    "Usage:\n"
    "  shardix-cli segment [--force] [--manifest] [--join-script] [--digits N]\n"
    "                      SOURCE BASEPATH COUNT\n"
    "      Cut SOURCE into COUNT (2 to {max}) equal pieces named BASEPATH1 .. BASEPATHn;\n"
    "      the last piece also takes the remainder.\n"
    "  shardix-cli segment [--force] [--manifest] [--join-script] [--digits N]\n"
    "                      --size SIZE SOURCE BASEPATH\n"
    "      Cut SOURCE into pieces of SIZE bytes, the last one shorter (at most {max}\n"
    "      pieces; an empty SOURCE gives one empty piece). SIZE is a number of bytes,\n"
    "      or one with a unit: K, M, G, T for powers of 1024 (also KiB, MiB, ...),\n"
    "      KB, MB, GB, TB for powers of 1000, as split -b reads it: 4G, 700M, 25MB.\n"
    "      SOURCE \"-\" is standard input (a pipe), read until it ends (./- is a\n"
    "      file of that name); it has no length, so it is cut by --size only.\n"
    "  shardix-cli segment ... --recovery PERCENT [--block-size BYTES] ...\n"
    "      Also write PAR 2.0 recovery files for the pieces, from the same read of\n"
    "      SOURCE: BASEPATH.par2 (the index) and its volumes BASEPATH.volNN+MM.par2,\n"
    "      with recovery blocks of PERCENT (1 to 100) of the pieces' blocks.\n"
    "  shardix-cli assemble [--force] [--sort | --as-given] [--manifest FILE] TARGET INPUT...\n"
    "      Join the INPUTs, in the order given, into TARGET (\"-\": standard output).\n"
    "  shardix-cli append [--sort | --as-given] [--manifest FILE] TARGET SOURCE...\n"
    "      Complete TARGET, which holds the beginning of the SOURCEs joined in order,\n"
    "      with exactly the bytes it lacks. TARGET is compared with the SOURCEs first;\n"
    "      one that does not match is left alone.\n"
    "  shardix-cli join [--force] [--output TARGET] [--first N] [--manifest FILE]\n"
    "                   PIECE\n"
    "      Find the whole set that PIECE (any one piece, or the folder that holds one\n"
    "      set) belongs to and join it in order into TARGET: by default the set's\n"
    "      base name in the pieces' folder; \"-\" is standard output. Names known:\n"
    "      BASE1 .., BASE01 .., name.ext.000 or .001 .., split's xaa .. (widened\n"
    "      xzaaa ..) and x00 .. with or without a suffix, name.part1 .., name.part01\n"
    "      .., name-00001-of-00005.ext. Refused before anything is written: a piece\n"
    "      missing or there twice, two sets the PIECE does not settle, a piece before\n"
    "      the last that is shorter or longer than the others (unless a checksum\n"
    "      list lists it).\n"
    "  shardix-cli verify MANIFEST\n"
    "      Check the files that MANIFEST lists, in MANIFEST's folder: one line each on\n"
    "      standard output, \"OK\" or what is wrong (missing, shorter, longer,\n"
    "      different). The whole file's line is checked when that file is there.\n"
    "      Given a recovery index (BASE.par2), check the files it lists.\n"
    "  shardix-cli repair INDEX [FILE...]\n"
    "      Check the files that the recovery index INDEX (BASE.par2) lists, in its\n"
    "      folder, and rebuild every missing or damaged one from the recovery blocks\n"
    "      of INDEX and its volumes when there are enough; intact blocks are also\n"
    "      sought at other places of damaged files and in the FILEs (misnamed or\n"
    "      moved pieces), which are only read; a damaged file is first\n"
    "      renamed to NAME.1 (or the next number free). With too few blocks, say how\n"
    "      many are missing and change nothing.\n"
    "  shardix-cli --help | --version\n"
    "\n"
    "Options:\n"
    "  --force          replace an existing first piece, manifest and join script\n"
    "                   (segment) or TARGET (assemble, join; the old TARGET stays\n"
    "                   until the new one is complete)\n"
    "  --manifest       (segment) also write BASEPATH{suffix}: the SHA-256 of every\n"
    "                   piece, named as in its folder, then that of the whole SOURCE\n"
    "                   under SOURCE's own name, as sha256sum writes them, so that\n"
    "                   'sha256sum -c --ignore-missing BASEPATH{suffix}' in that folder\n"
    "                   checks the pieces, and the assembled file once it is there\n"
    "                   (from standard input, the whole file is named after\n"
    "                   BASEPATH without a final '.', '-' or '_': disk.img. gives\n"
    "                   disk.img)\n"
    "  --join-script    (segment) also write BASEPATH{script}: a POSIX shell script\n"
    "                   that joins the pieces with cat into the whole file's name,\n"
    "                   anywhere, without shardix-cli (sh BASEPATH{script}); it\n"
    "                   refuses a missing piece or one of another size, never\n"
    "                   overwrites a file, and checks with sha256sum -c when the\n"
    "                   manifest is beside it\n"
    "  --digits N       (segment) number the pieces with N digits, zero-padded\n"
    "                   (BASEPATH01 .. BASEPATH12 for 2), so that the shell's\n"
    "                   glob and ls give them in order; N from 1 to {digits}\n"
    "  --manifest FILE  (assemble, append, join) check against the list FILE\n"
    "  --no-manifest    (assemble, append, join) check against no list\n"
    "  --output TARGET  (join) the file to write; \"-\" for standard output\n"
    "  --first N        (join) the set's numbers begin at N (split\n"
    "                   --numeric-suffixes=N): the numbers below are not missing\n"
    "  --size SIZE      (segment) cut into pieces of SIZE bytes instead of COUNT\n"
    "  --recovery PERCENT  (segment) also write recovery files; any PERCENT of the\n"
    "                   pieces' blocks lost anywhere can be rebuilt\n"
    "  --block-size BYTES  (segment, with --recovery) the size of the blocks: a\n"
    "                   multiple of 4 up to 64M, as SIZE is written. Without it,\n"
    "                   about 2000 blocks in all (the largest piece over 2000 /\n"
    "                   COUNT, rounded up to a multiple of 4, at least 4096 bytes),\n"
    "                   larger when that would make more than the format's 32768\n"
    "                   blocks\n"
    "  --sort           (assemble, append) order the INPUTs by the length of their\n"
    "                   names, names of one length by their bytes, which puts p1 p2\n"
    "                   .. p10 p11 in number order; numbered pieces of one base\n"
    "                   name are refused when one from 1 to the highest is missing\n"
    "  --as-given       (assemble, append) join numbered pieces in the order given,\n"
    "                   even when it is not their number order\n"
    "  --quiet          (every command) show no progress; verify and repair show\n"
    "                   only the files that are wrong, assemble and append do not\n"
    "                   tell what matched the manifest, segment what it wrote\n"
    "  --               end of the options: a file name that begins with \"-\" follows\n"
    "\n"
    "Without --force an existing first piece, manifest, join script or TARGET is\n"
    "left alone. Cutting again over pieces replaces or removes BASEPATH{suffix}\n"
    "and BASEPATH{script}, which would no longer describe them. Every INPUT is\n"
    "checked before TARGET is touched. Names that are one file (links) are told\n"
    "apart by what they are, not by how they are spelled.\n"
    "\n"
    "Numbered pieces of one base name (p1 p2 p3, or p01 p02 p03) given out of\n"
    "number order, with one missing or one twice, are refused unless --sort or\n"
    "--as-given is given or a manifest settles their order. A TARGET that is\n"
    "itself such a piece is refused: TARGET comes first.\n"
    "\n"
    "Manifests: when an INPUT (SOURCE) lies in a folder beside a manifest (a\n"
    "{suffix} file) that lists it, that manifest is used, however the INPUTs are\n"
    "named; --manifest FILE names it instead, and --no-manifest turns the check\n"
    "off. assemble and append then refuse, before writing, an INPUT that the\n"
    "manifest does not list, a listed piece that is missing, given twice, out of\n"
    "its order or of another length, a manifest that is incomplete, and a TARGET\n"
    "that is the manifest or one of its pieces. append first checks the whole\n"
    "pieces that TARGET already holds against their checksums. While copying, they\n"
    "read TARGET back and compare each piece's bytes and the whole file with the\n"
    "manifest: a mismatch fails the command, naming the piece (or TARGET, where its\n"
    "own bytes are wrong), and keeps what was written.\n"
    "\n"
    "The lists of other tools count as manifests too, for assemble, append, join\n"
    "and verify: those of sha256sum, sha1sum, md5sum and b2sum (plain or --tag;\n"
    "named .sha256 .sha1 .md5 .b2 .sums, SHA256SUMS ..., or given with --manifest),\n"
    "cksfv's .sfv files (CRC-32) and the file managers' .crc file (filename=,\n"
    "size=, crc32=), which checks the whole joined file. Each checksum is computed\n"
    "while the bytes are copied, as the list's tool computes it. Standard output\n"
    "(assemble -, join --output -) is refused when it is a terminal; its bytes are\n"
    "checked as they are written.\n"
    "\n"
    "Recovery volumes hold 1, 2, 4, 8, ... recovery blocks (the last the rest), so\n"
    "that a little damage is mended from a few small files. Recovery blocks of at\n"
    "most 256 MiB are held in memory at once; more take another read of the\n"
    "pieces for each further 256 MiB.\n"
    "\n"
    "Messages go to standard error. While a command runs and standard error is a\n"
    "terminal, a line there shows its progress, the rate and the time left.\n"
    "\n"
    "SIGINT (Ctrl+C) or SIGTERM stops segment, assemble and append between two\n"
    "pieces of at most 4,000,000 bytes: a message names the file being written and\n"
    "how many bytes it was left with (kept, as after a failure); recovery files\n"
    "not yet complete are removed. They stop repair at its next block, having\n"
    "changed nothing.\n"
    "\n"
    "Exit status: 0 on success, 1 on a failure or refusal (verify: a listed piece\n"
    "that is not right, or a whole file that is there and not right; repair: too\n"
    "few recovery blocks to rebuild what is missing), 2 on a usage error, 130 when\n"
    "stopped by SIGINT and 143 when stopped by SIGTERM.\n";

// `text` with every `mark` replaced by `value`.
std::string replaced(std::string text, std::string_view mark, std::string_view value) {
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + value.size()))
        text.replace(at, mark.size(), value);
    return text;
}

} // namespace

std::string usageText() {
    std::string text = replaced(std::string(kUsage), "{max}", std::to_string(kMaxSegments));
    text = replaced(std::move(text), "{digits}", std::to_string(kMaxDigits));
    text = replaced(std::move(text), "{script}", kJoinScriptSuffix);
    return replaced(std::move(text), "{suffix}", kManifestSuffix);
}

std::string versionText() {
    return "shardix-cli (Shardix!) " SHARDIX_VERSION;
}

} // namespace shardix::cli
