// Gives the UTF-8 library a source while its folder fills.
