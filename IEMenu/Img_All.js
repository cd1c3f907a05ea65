// " Save all pictures by &MG...": every picture of the page, with the bytes
// the browser already holds (SaveImages).
mossgatherCollect({ cache: true });
