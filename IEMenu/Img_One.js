// " Sa&ve picture by MG...": the page and the picture under the mouse
// (SaveOneImg).
mossgatherCollect({ element: true, cache: true });
