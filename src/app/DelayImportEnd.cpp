// The zero descriptor that ends the delay-import table.  Each delay-import library
// contributes its 32-byte descriptor to .text$2; the linker sorts .text$3 right
// after them.  Written in assembly so that no alignment padding (which the compiler
// would add for a 32-byte array) separates it from the last descriptor.  Kept
// through --gc-sections by the link option --undefined=korvaneDelayImportEnd.
asm(".section .text$3,\"xr\"\n"
    ".globl korvaneDelayImportEnd\n"
    ".p2align 2\n"
    "korvaneDelayImportEnd:\n"
    ".zero 32\n"
    ".text\n");
