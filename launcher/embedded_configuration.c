/* The configuration this build gives the launcher, each string alone in its own section with
 * no terminator (its length is the section's size), and the launcher's own entry record. The
 * build passes the values, so they follow the application library's file name. */

#ifndef QUORLAN_DEBUG_DYLIB
#error "the build must define QUORLAN_DEBUG_DYLIB, QUORLAN_DEBUG_ENTRY and QUORLAN_DEBUG_INSTLNM"
#endif

__asm__(".pushsection __debug_dylib,\"a\",%progbits\n"
        ".ascii \"" QUORLAN_DEBUG_DYLIB "\"\n"
        ".popsection\n"
        ".pushsection __debug_entry,\"a\",%progbits\n"
        ".ascii \"" QUORLAN_DEBUG_ENTRY "\"\n"
        ".popsection\n"
        ".pushsection __debug_instlnm,\"a\",%progbits\n"
        ".ascii \"" QUORLAN_DEBUG_INSTLNM "\"\n"
        ".popsection\n");

/* Eight bytes: the trampoline's offset from the start of this section, then the flags word 0. */
__asm__(".pushsection __swift5_entry,\"a\",%progbits\n"
        ".balign 4\n"
        ".long __debug_dylib_swift_extension_entry_trampoline - .\n"
        ".long 0\n"
        ".popsection\n");
