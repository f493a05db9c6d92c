// A library made only of forwarded exports still needs one source.
