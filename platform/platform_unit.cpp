// Gives the platform library a source of its own; the stand-ins live in the folders beside it.
