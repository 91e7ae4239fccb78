/* The browser script; the real one is written with the web panel. */
