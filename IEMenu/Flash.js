// " Save flash by &MG...": the page's OBJECT and EMBED movies and its VIDEO
// and AUDIO (SaveFlash).
// The movies are downloaded by the program, so no picture bytes are sent.
mossgatherCollect({ cache: false });
