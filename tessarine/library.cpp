// libtessarine.so is the component library as a whole; this unit only gives the target a source.
