// " Sa&ve snippet by MG...": the selection, with the page around it and its
// pictures, for the snippet editor (SaveSnippet).
mossgatherCollect({ cache: true });
