/* The setup program's .kiln section: its unpacking entry, the record the
   packer fills in and the patch block, all of which stay uncompressed. It
   is the last section before the relocations, which the packer replaces,
   so that the packer can append the packed program to it. */
SECTIONS
{
  .kiln BLOCK(__section_alignment__) : { *(SORT(.kiln$*)) }
}
INSERT AFTER .rsrc;
