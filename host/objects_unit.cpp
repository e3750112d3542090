// Gives the host objects library a source while its folder fills.
