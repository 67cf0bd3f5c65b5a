/* The 32-bit setup program throws no exceptions and starts without the C
   runtime, which would register unwind tables: the few that library code
   brings along (.eh_frame) are left out, and with them a section name that
   no Windows tool expects. */
SECTIONS { /DISCARD/ : { *(.eh_frame) } }
INSERT AFTER .rdata;
