// " Save entire page by &MG...": the whole page with its pictures, for the
// text editor (SaveFullPage).
mossgatherCollect({ cache: true });
