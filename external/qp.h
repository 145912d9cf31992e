#pragma once
// The PDF engine as the add-in sees it: C-style functions on opaque handles, each returning an int
// result (0 success) unless stated otherwise. Nothing escapes an engine call but its result.
//
// Conventions of this engine
// - Results: 0 is success; failures are the positive QP_ERR_* codes below. Functions documented as
//   returning a count, number or flag return it directly (a negative value means the call failed).
// - Handles and their release:
//   * qp_engine: qp_startup / qp_cleanup. Close every document before qp_cleanup.
//   * qp_document: qp_document_open / qp_document_close (also after a failed open; null is accepted).
//   * qp_page: qp_load_page / qp_free_page.
//   * qp_annot: owned by the page it came from; valid until qp_free_page or qp_annot_delete.
//   * qp_field: owned by the document; valid until qp_document_close or qp_field_delete.
//   * qp_signature: qp_field_create_signature / qp_field_get_signature, released with
//     qp_field_free_signature.
//   * qp_cos: every object handle the engine hands out belongs to the document and is released at
//     qp_document_close at the latest; qp_cos_delete releases one earlier. Deleting a handle never
//     deletes the PDF object itself.
//   * qp_text: qp_page_load_text / qp_page_close_text. qp_search: qp_document_search / qp_search_free.
//   * qp_image: qp_image_free. qp_string: qp_string_delete. qp_certificate: qp_certificate_free.
//   Release functions accept null. Release a document's pages, texts, searches, images and
//   signatures before closing it.
// - Threads: an engine, and everything opened with it, is used by one thread at a time. Engines share
//   nothing, so several threads may each work with an engine of their own at once.
// - Coordinates: PDF points. Boxes and character boxes are in PDF user space (as the page dictionary
//   states them, origin wherever the file puts it, y up), x0 <= x1 and y0 <= y1.
//   Annotation rectangles given to qp_annot_set_rect are in the displayed frame: the page's MediaBox
//   as the page is displayed (its /Rotate applied), origin at the displayed bottom-left corner of the
//   MediaBox, x to the right, y up. On an unrotated page whose MediaBox starts at (0, 0) that is user
//   space. The engine converts it to the user-space /Rect.
// - Rotation of an image stamp (qp_annot_set_rotate): degrees counter-clockwise relative to the page
//   (0, 90, 180, 270; 360 is 0). A stamp whose rotation equals the page's /Rotate appears upright on
//   screen; each further 90 degrees turns it a quarter counter-clockwise on screen.
// - Saving appends one incremental update to the file the document was opened from and replaces the
//   file atomically (the update is written to a copy beside the file, created with no wider permissions
//   than the file's, flushed, and renamed over it with the original's mode and owner). A symbolic link
//   is followed: the file it names is replaced and the link stays. Before the rename the engine locks the
//   file against other runs of this engine and checks it is still the file that was read (same file,
//   size and times) and has no other hard links; otherwise the save fails. A failed save leaves the file
//   as it was. Copies left beside files by runs that were killed are removed by the next save in their
//   folder. After a save the engine reads the document back from the saved file: load pages and objects
//   again to change it further (handles taken before the save stay safe to read and release).
// - Staged saving (qp_document_set_staged): saves collect in the copy, the document reads from it, and
//   the file is replaced only by qp_document_commit, so the copy can be checked first; closing the
//   document without a commit removes the copy and leaves the file as it was.
// - Text given as UTF-16 is in native byte order (char16_t units).

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- Result codes ---------------------------------------------------------------------------
#define QP_OK 0
#define QP_ERR_ARGUMENT 1      // null handle, bad index, bad value
#define QP_ERR_OPEN 2          // not a PDF, unreadable, damaged beyond repair
#define QP_ERR_PASSWORD 3      // encrypted with a user password the engine does not have
#define QP_ERR_SAVE 4          // the update could not be written; the file is unchanged
#define QP_ERR_BUFFER 5        // the buffer is too small; the needed length was written back
#define QP_ERR_NOT_FOUND 6     // no such entry, field, search hit, private data
#define QP_ERR_UNSUPPORTED 7   // a value the engine does not handle (kind, colour space, ...)
#define QP_ERR_SIGN 8          // no key for the certificate, signing failed, callback failed
#define QP_ERR_VERIFY 9        // the signature does not verify or does not cover its revision
#define QP_ERR_NO_ROOM 10      // a signature larger than the room reserved for it
#define QP_ERR_ENGINE 11       // any other failure inside the engine
#define QP_ERR_STOPPED 12      // a callback asked the engine to stop
#define QP_ERR_LIMIT 13        // the file's work went past the engine's memory ceiling or time budget

// ---- Handles --------------------------------------------------------------------------------
typedef struct qp_engine_s* qp_engine;
typedef struct qp_document_s* qp_document;
typedef struct qp_page_s* qp_page;
typedef struct qp_annot_s* qp_annot;
typedef struct qp_cos_s* qp_cos;
typedef struct qp_text_s* qp_text;
typedef struct qp_search_s* qp_search;
typedef struct qp_image_s* qp_image;
typedef struct qp_string_s* qp_string;
typedef struct qp_field_s* qp_field;
typedef struct qp_signature_s* qp_signature;
typedef struct qp_certificate_s* qp_certificate;

// ---- Life cycle -----------------------------------------------------------------------------
// flags: pass 0x20000000 (the only value the engine accepts besides 0); the three reserved values
// must be 0.
int qp_startup(qp_engine* engine, uint32_t flags, int reserved1, int reserved2, int reserved3);
int qp_cleanup(qp_engine engine);
// The bounds of the work on one file. The memory ceiling covers everything the engine holds (1 GiB unless
// set; 0 restores that). The time budget runs from the call (0 takes it away; there is none at startup):
// set it when the work on a file begins. Past either bound calls fail with QP_ERR_LIMIT; the engine and the
// documents open in it stay usable for the next file once the budget is set again or memory is freed.
int qp_engine_set_memory_ceiling(qp_engine engine, uint64_t bytes);
int qp_engine_set_time_budget(qp_engine engine, uint32_t milliseconds);

// ---- Documents ------------------------------------------------------------------------------
// Opens a PDF file (UTF-8 path). An encrypted file opens when its user password is empty. A damaged
// cross-reference is rebuilt, as readers do. *document is set even on failure (maybe null): close it.
int qp_document_open(qp_engine engine, qp_document* document, const char* utf8Path);
int qp_document_close(qp_document document);
// Appends the changes made since opening (or since the last save) as one incremental update.
// Saving with no changes leaves the file untouched and succeeds. A file whose cross-reference had
// to be rebuilt on open takes an update whose cross-reference lists every object of the document
// (the original bytes stay a prefix, so earlier signatures keep their digests); one whose rebuilt
// objects cannot all be listed is refused: QP_ERR_UNSUPPORTED, the file untouched.
int qp_document_save(qp_document document);
// staged 1: the following saves go to a copy beside the file (see Staged saving above); 0: saves
// replace the file at once (the default). QP_ERR_ARGUMENT while a staged copy waits for its commit.
int qp_document_set_staged(qp_document document, int staged);
// The UTF-8 path of the staged copy, with its terminating zero; *length is the buffer's size in and
// the needed size out (QP_ERR_BUFFER when it is too small). QP_ERR_NOT_FOUND when nothing is staged.
int qp_document_get_staged_path(qp_document document, char* buffer, int* length);
// Replaces the file with the staged copy (after the same checks as a save) and ends staging of that
// copy; succeeds doing nothing when nothing is staged. On failure the copy is removed and the file
// stays as it was.
int qp_document_commit(qp_document document);
// Tells the engine a page was changed. Appearances are never synthesized; kept for callers'
// symmetry. pageIndex must exist; flags are ignored.
int qp_document_update_page(qp_document document, int pageIndex, int flags);
// Number of pages, or -1.
int qp_page_count(qp_document document);
// 1 when the permission bit (the PDF /P bit value: 4 print, 8 modify, 16 copy, 32 annotate, 256 fill
// forms, 512 accessibility, 1024 assemble, 2048 high-quality print) is granted, 0 when refused.
// An unencrypted document grants everything.
int qp_document_has_permissions(qp_document document, int bit);
// The security handler revision (/R: 2, 3, 4, 5, 6) or 0 for an unencrypted document; -1 on error.
int qp_document_crypt_revision(qp_document document);
// The certification of the document (a /Perms /DocMDP signature, its DocMDP /P): 0 not certified, 1 no
// changes allowed, 2 form filling and signing allowed, 3 form filling, signing and annotations allowed;
// -1 on error. A /P outside 1..3 reads as 1.
int qp_document_certification_level(qp_document document);

// ---- Pages ----------------------------------------------------------------------------------
#define QP_BOX_MEDIA 0
#define QP_BOX_CROP 1  // falls back to the MediaBox when the page has no CropBox

// pageIndex is zero-based.
int qp_load_page(qp_document document, int pageIndex, qp_page* page);
int qp_free_page(qp_page page);
// The box of a page, inherited values included, as x0, y0, x1, y1 (normalised).
int qp_page_get_box(qp_document document, int pageIndex, int boxKind, double box[4]);
int qp_page_box(qp_page page, int boxKind, double box[4]);
// The effective /Rotate (inherited, normalised to 0, 90, 180 or 270).
int qp_page_rotate(qp_page page, int* degrees);
// The page dictionary, or null.
qp_cos qp_page_object(qp_page page);
// Draws the page as a reader shows it: contents, then annotations and widgets by their appearances (seal
// annotations included), on white, at `zoom` (1.0: 72 pixels per inch; lowered so that no side exceeds
// 16384 pixels), turned clockwise by `rotation` (a multiple of 90) on top of the page's own /Rotate.
// Pixels are RGB, 3 bytes each, rows from the top without padding. *width and *height receive the size; a
// null buffer asks for the size alone; QP_ERR_BUFFER when capacity is below width * height * 3.
int qp_page_render(qp_page page, double zoom, int rotation, unsigned char* buffer, size_t capacity, int* width,
                   int* height);

// ---- Text and search ------------------------------------------------------------------------
// One character of a page's text layer: 48 bytes, the box at byte offset 16, in user space.
typedef struct qp_char_info_s {
  uint32_t unicode;     // the character (Unicode scalar value)
  int32_t lineIndex;    // index of its line in the page's text layer
  int32_t reserved[2];
  double x0, y0, x1, y1;
} qp_char_info;

// The page's text layer, taken from its content streams (annotations are not read). `second` is set
// to null (reserved), flags must be 0. Characters are numbered in reading order from 0.
int qp_page_load_text(qp_page page, qp_text* text, void** second, int flags);
int qp_page_close_text(qp_text text);
// Number of characters of the text layer, or -1.
int qp_page_text_count(qp_text text);
// Copies `count` character records starting at `first` into `records`.
int qp_page_text_char(qp_text text, int first, int count, qp_char_info* records);

#define QP_SEARCH_OPTION_TEXT 2  // value: the text to find, zero-terminated UTF-16

int qp_document_search(qp_document document, qp_search* search);
int qp_search_free(qp_search search);
int qp_search_set_option(qp_search search, int option, const void* value);
// Finds the first occurrence of the text in the text layer (exact code-point match; characters of
// consecutive lines are adjacent). QP_ERR_NOT_FOUND when absent.
int qp_search_first(qp_search search, qp_text text);
// Moves to the next / previous occurrence; QP_ERR_NOT_FOUND (the current hit stays) when none.
int qp_search_next(qp_search search, qp_text text);
int qp_search_prev(qp_search search, qp_text text);
// The current hit as first character index and character count; count 0 when there is none.
int qp_search_result(qp_search search, int* first, int* count);

// ---- Annotations ----------------------------------------------------------------------------
#define QP_ANNOT_IMAGE_STAMP 12  // a /Stamp annotation whose appearance is an image

// The first annotation of the page in /Annots order, or null. Entries that are not dictionaries
// are skipped.
qp_annot qp_page_load_annots(qp_page page);
qp_annot qp_annot_next(qp_annot annot);
// The /Subtype as bytes (valid while the annotation lives); "" when it has none.
const char* qp_annot_get_subtype(qp_annot annot);
qp_cos qp_annot_get_cosobject(qp_annot annot);
// A new annotation appended to the page's /Annots (kind 12 only): /Type /Annot /Subtype /Stamp,
// /F 4 (print), /P the page, an empty /Rect until set. Null on failure.
qp_annot qp_page_create_annotation(qp_page page, int kind);
// Rectangle in the displayed frame (see the conventions above).
int qp_annot_set_rect(qp_annot annot, double x0, double y0, double x1, double y1);
int qp_annot_set_rotate(qp_annot annot, int degrees);
// The blend mode name ("Multiply"), written to the annotation and used by its appearance.
int qp_annot_set_blendmode(qp_annot annot, const char* mode);
// A default appearance: an empty form over the rectangle, so the annotation has /AP /N until the
// image appearance replaces it.
int qp_annot_generate_appearance(qp_annot annot);
// The image fills the rectangle, turned by the annotation's rotation.
int qp_annot_set_image_appearance_from_handle(qp_annot annot, qp_image image);
// Rebuilds the image appearance after the rectangle, rotation or blend mode changed.
int qp_annot_update(qp_annot annot);
// The widget annotation of a field on this page, or null.
qp_annot qp_page_lookup_annotation(qp_page page, qp_field field);
// Removes the annotation from its page's /Annots (the object itself stays in the file, unreferenced).
// A widget is also removed from its field's /Kids and from /AcroForm /Fields. The handle is gone.
int qp_annot_delete(qp_annot annot);

// ---- Images ---------------------------------------------------------------------------------
#define QP_COLORSPACE_GRAY 1
#define QP_COLORSPACE_RGB 3
#define QP_COLORSPACE_INDEXED 5  // needs a palette: qp_image_set_palette

// kind 0: JPEG bytes, stored unchanged (DCTDecode). Null when the bytes are not a JPEG.
qp_image qp_image_create_from_raw_data(qp_document document, int kind, const void* bytes, size_t length);
// Pixel rows, top row first, each row padded to a whole byte; bitsPerComponent 1, 2, 4 or 8.
// The bytes are copied and stored Flate-compressed.
qp_image qp_image_create_from_data(qp_document document, int width, int height, int bitsPerComponent,
                                   int colorSpace, const void* bytes, size_t length);
// Palette of an indexed image: `entries` RGB triples (1 to 256).
int qp_image_set_palette(qp_image image, const unsigned char* rgb, int entries);
// A gray 8-bit image of the same size as the soft mask (/SMask). The mask handle is copied from;
// the caller frees it.
int qp_image_set_soft_mask(qp_image image, qp_image mask);
// A colour key mask (/Mask): `count` values, a minimum and maximum per component.
int qp_image_set_mask_key(qp_image image, const int* values, int count);
int qp_image_free(qp_image image);

// ---- Strings --------------------------------------------------------------------------------
qp_string qp_string_create(void);
// Appends UTF-16 text; length in code units, or -1 for zero-terminated text.
int qp_string_append_ucs(qp_string string, const uint16_t* text, int length);
// The text as zero-terminated UTF-16 (valid until the next change) and its length in code units.
const uint16_t* qp_string_ucs(qp_string string);
int qp_string_length(qp_string string);
int qp_string_delete(qp_string string);

// ---- Objects --------------------------------------------------------------------------------
// Type tests answer 1 or 0 and see through an indirect reference to its target, except
// qp_cos_is_indirect, which tells whether the handle is a reference. A stream is also a dictionary.
int qp_cos_is_null(qp_cos object);
int qp_cos_is_bool(qp_cos object);
int qp_cos_is_int(qp_cos object);
int qp_cos_is_real(qp_cos object);
int qp_cos_is_string(qp_cos object);
int qp_cos_is_name(qp_cos object);
int qp_cos_is_array(qp_cos object);
int qp_cos_is_dict(qp_cos object);
int qp_cos_is_stream(qp_cos object);
int qp_cos_is_indirect(qp_cos object);

// Readers (through references). Wrong types read as 0, 0.0, null.
int qp_cos_to_bool(qp_cos object);
int qp_cos_to_int(qp_cos object);
// A real gives back the value as written in the file where that is recoverable (the shortest
// decimal that the engine's 32-bit value rounds to), so 0.1 reads as 0.1; an integer reads as itself.
double qp_cos_to_double(qp_cos object);
// String bytes (not terminated by the string: it may hold zero bytes; a zero follows the last byte).
const char* qp_cos_to_string(qp_cos object);
int qp_cos_to_string_len(qp_cos object);
// 1 when the string is to be written in hex form. The file does not tell (the engine keeps no form),
// so the rule is on the bytes: hex when any byte is below 0x20 other than \b \t \n \f \r, or is 0x7F or
// above. The same bytes always give the same answer, before and after a save.
int qp_cos_string_is_hex(qp_cos object);
const char* qp_cos_to_name(qp_cos object);
// Object number of an indirect object (the reference's, or the object's own when it was reached
// through one); 0 for a direct object.
int qp_cos_obj_num(qp_cos object);

// Dictionaries keep the file's key order (the engine sorts a dictionary of more than 100 keys).
qp_cos qp_cos_dict_gets(qp_cos dict, const char* key);  // null when absent
int qp_cos_dict_len(qp_cos dict);
const char* qp_cos_dict_get_key(qp_cos dict, int index);
qp_cos qp_cos_dict_get_val(qp_cos dict, int index);
int qp_cos_array_len(qp_cos array);
qp_cos qp_cos_array_get(qp_cos array, int index);

// Stream data, decoded (qp_cos_stream_to_buffer) or as stored (raw). Call with buffer null (or a
// *length too small) to learn the length: *length is set and the result is 0 for a null buffer,
// QP_ERR_BUFFER for a short one. Then call with a buffer of *length bytes. A raw read of stored bytes
// that cannot be read in full (a damaged encrypted stream, a failing file) is QP_ERR_ENGINE, never part
// of the stream.
int qp_cos_stream_to_buffer(qp_cos stream, void* buffer, size_t* length);
int qp_cos_stream_raw_to_buffer(qp_cos stream, void* buffer, size_t* length);
// Decoded stream data, at most `capacity` bytes: decoding stops there, so data that decodes to far more (a
// flate bomb) costs no more than the bound. *length is what was read; QP_ERR_BUFFER when the data goes on past
// the bound (the buffer then holds its first `capacity` bytes). Data that cannot be decoded in full is
// QP_ERR_ENGINE.
int qp_cos_stream_to_buffer_bounded(qp_cos stream, void* buffer, size_t capacity, size_t* length);

// Constructors. New objects are direct unless `indirect` is nonzero; a direct object lands in the
// file when it is put into an object that is saved.
qp_cos qp_cos_new_null(qp_document document);
qp_cos qp_cos_new_bool(qp_document document, int value);
qp_cos qp_cos_new_int(qp_document document, int value);
qp_cos qp_cos_new_real(qp_document document, double value);
qp_cos qp_cos_new_name(qp_document document, const char* name);
// hex: write the string in hex form (recorded for qp_cos_string_is_hex only as far as the rule allows).
qp_cos qp_cos_new_string(qp_document document, const void* bytes, int length, int hex);
qp_cos qp_cos_new_array(qp_document document, int capacity, int indirect);
qp_cos qp_cos_new_dict(qp_document document, int capacity, int indirect);
// A stream with the given dictionary (copied; may be null). encode 1: the bytes are the decoded data
// and are compressed with the dictionary's /Filter (FlateDecode is the one supported); encode 0: the
// bytes are stored as given. reserved must be 0. Streams are always indirect (indirect is accepted
// for symmetry).
qp_cos qp_cos_new_stream(qp_document document, const void* bytes, size_t length, int encode,
                         qp_cos dict, int reserved, int indirect);
int qp_cos_dict_puts(qp_cos dict, const char* key, qp_cos value);
int qp_cos_array_push(qp_cos array, qp_cos value);
// Marks an indirect object (or the indirect object holding a direct one) as changed, so the next save
// writes it. Changes through the engine mark objects already; this is for explicit callers.
int qp_cos_set_modify(qp_document document, qp_cos object, int modified);
int qp_cos_delete(qp_cos object);

// ---- Objects as the file writes them --------------------------------------------------------
// qp_cos_walk reports one object to a callback, item by item, depth first, in one engine call: dictionary
// entries in the order the file writes them (the readers above give the engine's order, sorted for more
// than 100 keys), each string with the form it is stored in (hex or literal), each real with the value of
// the digits the file writes (the readers give the engine's 32-bit value), stream data as stored (decrypted,
// not decoded, as qp_cos_stream_raw_to_buffer gives it). What an object is, and the bytes of its strings
// (decrypted) and names, are the engine's; key order, string forms and real digits are read again from the
// object's source in the file (its offset from the cross-reference, or its place in a decoded object stream).
// An object whose source does not read as the engine read it (made or changed in memory, damaged) is reported
// from the engine's object alone, as the readers see it: the engine's key order, the hex form by the rule of
// qp_cos_string_is_hex, reals as qp_cos_to_double gives them; such objects are counted in *fallbacks.

// Item kinds.
#define QP_ITEM_NULL 0
#define QP_ITEM_BOOL 1
#define QP_ITEM_INT 2
#define QP_ITEM_REAL 3
#define QP_ITEM_STRING 4
#define QP_ITEM_NAME 5
#define QP_ITEM_REFERENCE 6    // a reference inside the walked object: not followed unless the callback asks
#define QP_ITEM_DICT_BEGIN 7
#define QP_ITEM_DICT_END 8
#define QP_ITEM_ARRAY_BEGIN 9
#define QP_ITEM_ARRAY_END 10
#define QP_ITEM_STREAM_DATA 11  // a piece of a stream's stored data, after its QP_ITEM_DICT_END; zero or more
#define QP_ITEM_STREAM_END 12   // after the last piece

typedef struct qp_walk_item_s {
  int kind;                    // QP_ITEM_*
  int depth;                   // 0: the walked object; its entries and elements 1, theirs 2, ...; the target of
                               // a followed reference has the reference's depth
  const char* key;             // an entry of a dictionary: its key (name bytes, zero-terminated); null otherwise
  size_t key_length;           // the key's length in bytes
  const unsigned char* bytes;  // string bytes, name bytes (zero-terminated), a piece of stream data
  size_t length;
  int hex;                     // string: stored in hex form
  int stream;                  // dictionary begin and end: the dictionary of a stream
  int boolean;
  int64_t integer;             // integer: its value; reference: the object number
  int generation;              // reference
  double real;                 // real: the value of its digits
} qp_walk_item;

// What the callback answers to an item. Bits may be combined; anything else is QP_WALK_NEXT.
#define QP_WALK_NEXT 0
#define QP_WALK_SKIP_ENTRIES 1  // dictionary or array begin: its entries are not reported (its end is)
#define QP_WALK_SKIP_DATA 2     // stream dictionary begin: its data is not read (no data, no stream end)
#define QP_WALK_FOLLOW 4        // reference: the object it points to is walked in its place
#define QP_WALK_STOP 8          // the walk ends at once; qp_cos_walk returns QP_ERR_STOPPED

typedef int (*qp_walk_callback)(void* context, const qp_walk_item* item);

// Walks the object (a reference is followed: its target is walked, a missing one reads as null). Items are
// valid during the callback only. QP_ERR_STOPPED when the callback stopped it; QP_ERR_UNSUPPORTED when
// items nest deeper than 256 levels or a followed reference leads back into an object being walked;
// QP_ERR_ENGINE when stream data cannot be read in full (the pieces reported before stay reported).
// *fallbacks (may be null) receives the number of objects reported from the engine's object alone.
int qp_cos_walk(qp_cos object, qp_walk_callback callback, void* context, int* fallbacks);

// 1 when the cross-reference had to be rebuilt on opening (or after a save), 0 when the file read as it
// is written, -1 on error.
int qp_document_was_repaired(qp_document document);

// ---- Form fields and signatures -------------------------------------------------------------
#define QP_FIELD_SIGNATURE 6

// Number of signature fields (signed or not), or -1: a new field named after it does not clash.
int qp_acroform_signature_count(qp_document document);
// A new field of the type (6 only), not yet on a page: added to /AcroForm /Fields by
// qp_page_add_form_field. Null on failure.
qp_field qp_acroform_create_form_field(qp_document document, int fieldType);
// Terminal fields in /AcroForm /Fields order (depth first); null after the last.
qp_field qp_load_acroform_field(qp_document document);
qp_field qp_field_next(qp_field field);
int qp_field_set_name(qp_field field, qp_string name);
// The zero-based page of the field's (first) widget, or -1.
int qp_field_get_page_num(qp_field field);
// Private data is stored as a string under /Key in the field dictionary, so a signature over the
// field's revision covers it.
int qp_field_set_private_data(qp_field field, const char* key, const void* bytes, int length);
// Two-call protocol as for streams: *length in = buffer size, out = data length. No zero is added.
int qp_field_get_private_data(qp_field field, const char* key, void* buffer, int* length);
// Puts the field onto the page with its widget (the field is its own widget) and into /AcroForm
// /Fields (setting /SigFlags 3). Returns the widget, owned by the page.
qp_annot qp_page_add_form_field(qp_page page, qp_field field);
// The widget's appearance: the image turned by the rotation given to qp_annot_set_rotate (or by
// pageRotation when none was given), so that it is upright on a page with this /Rotate; /MK /R
// records the page rotation for viewers.
int qp_annot_set_signature_field_appearance(qp_annot widget, qp_image image, int pageRotation);
// Removes the field from /AcroForm /Fields (and its parent's /Kids) and its widgets from their pages.
int qp_field_delete(qp_field field);

// The field's signature object. create: prepares an unsigned one (the value is made when saving);
// get: the signature of a field that has a value, or null.
qp_signature qp_field_create_signature(qp_field field);
qp_signature qp_field_get_signature(qp_field field);
int qp_field_free_signature(qp_signature signature);
// Object number of the signature dictionary (/V), or 0 when not signed yet.
int qp_signature_get_obj_num(qp_signature signature);
int qp_signature_set_name(qp_signature signature, qp_string name);
int qp_signature_get_name(qp_signature signature, qp_string name);
// The signed byte range: offsets and lengths of the two ranges; QP_ERR_NOT_FOUND when unsigned.
int qp_signature_get_byte_range(qp_signature signature, int64_t range[4]);

// Signs and saves: the certificate (DER or PEM bytes) must have its private key registered in the
// key store (the seal key registers its PKCS#12 there); the password is for keys that need one and
// may be empty. Writes a detached CMS (SHA-256) in one incremental save. reason may be "" or null.
int qp_signature_save(qp_signature signature, const char* reason, const char* password,
                      const void* certificate, int certificateLength);

// Deferred signing through a callback.
#define QP_SIGN_PHASE_SIZE 0  // answer `size`: the bytes to reserve for the signature
#define QP_SIGN_PHASE_SIGN 1  // the byte ranges are ready; answer with qp_signature_set_signed_response

typedef struct qp_sign_request_s {
  void* context;                           // the descriptor's context
  int phase;                               // QP_SIGN_PHASE_*
  int rangeCount;                          // sign phase: the byte ranges of the saved revision
  const unsigned char* const* rangeData;
  const size_t* rangeLengths;
  size_t size;                             // size phase: 0 on entry; the callback writes the room
  void* engine;                            // the engine's own; do not touch
} qp_sign_request;

// Returns 0 to go on; anything else stops the save (the file stays as it was).
typedef int (*qp_sign_callback)(qp_sign_request* request);

typedef struct qp_sign_callback_desc_s {
  qp_sign_callback callback;
  void* context;
} qp_sign_callback_desc;

// Saves the document with a signature whose contents the callback provides: first asked for the room
// (size phase, at most 65536 bytes; 0 means 8192), then given the byte ranges (sign phase), it answers
// with bytes (a placeholder is fine) that the engine writes into the reserved room. reason and
// location may be null.
int qp_signature_save_pkcs1(qp_signature signature, const char* reason, const char* location,
                            const qp_sign_callback_desc* descriptor);
int qp_signature_set_signed_response(qp_sign_request* request, const void* bytes, int length);
// Writes a DER CMS into the reserved /Contents of the saved signature (atomically, in place);
// QP_ERR_NO_ROOM when it does not fit, the file untouched.
int qp_signature_merge_signature(qp_signature signature, const void* cms, int length);
// 0 when the CMS verifies over the byte ranges and the ranges cover the whole signed revision except
// the /Contents hole. For a document timestamp the /Contents is an RFC 3161 token instead: 0 when its
// message imprint is the digest of the byte ranges, its signature over the TSTInfo verifies and its signer
// is a time-stamping certificate. *certificate (may be null) receives the signer's (or the time-stamping
// authority's) certificate when the CMS carries it (also for an invalid signature), to be freed with
// qp_certificate_free.
int qp_signature_verify(qp_signature signature, qp_certificate* certificate);
// 1 when the signature is a document timestamp (/SubFilter /ETSI.RFC3161), 0 when it is a signature, -1
// on error.
int qp_signature_is_document_timestamp(qp_signature signature);
// *changed = 0 when no later revision changed any page's content streams, resources, boxes or
// rotation, or the page tree; 1 otherwise. Later annotations, fields and signatures do not count.
int qp_signature_verify_page_contents(qp_signature signature, int* changed);

// The certificate's DER bytes, two-call protocol as for streams.
int qp_certificate_get_der(qp_certificate certificate, void* buffer, size_t* length);
int qp_certificate_free(qp_certificate certificate);

// ---- Revisions ------------------------------------------------------------------------------
// A file grows by incremental updates, each appended after the bytes before it. Revision 0 is the file as
// first written (both cross-reference sections of a linearized file), revision n the n-th update. All
// answers are about the file as read: changes made since opening do not count. Where the file does not
// tell soundly (a cross-reference rebuilt on open or later, sections whose ends cannot be found), the
// revisions are unknown: the count is -1 and the other functions fail with QP_ERR_NOT_FOUND or give -1.

// Number of revisions, or -1 when unknown.
int qp_document_revision_count(qp_document document);
// Where revision `revision` ends: the file's first *end bytes are the file as it stood then (its last
// "%%EOF" and the end of line after it included).
int qp_document_revision_end(qp_document document, int revision, int64_t* end);
// The revision whose last "%%EOF" ends at `offset` (its end of line may follow, or not), or -1: how a
// signature's byte range names the revision it signs.
int qp_document_revision_ending_at(qp_document document, int64_t offset);

#define QP_REVISION_ADDED 0    // the oldest revision from which on the object is in use in every revision
#define QP_REVISION_DEFINED 1  // the newest revision whose cross-reference names the object (in use or freed),
                               // or that rewrote the object stream holding it

// The revision in which the object was added or last defined (see above), or -1 when unknown, or (added)
// when the object is not in use now.
int qp_document_object_revision(qp_document document, int objectNumber, int which);
// The numbers of the objects that revision `revision` defines, ascending: those its cross-reference names
// (in use or freed) and those kept in an object stream it rewrites. Two-call protocol: with numbers null
// (or *count too small) *count is set to the number needed (QP_ERR_BUFFER for a short buffer).
int qp_document_revision_objects(qp_document document, int revision, int* numbers, int* count);
// Opens revision `revision` as a document of its own, read from the file's first revision-end bytes: the
// document as it stood then. It cannot be saved; close it with qp_document_close.
int qp_document_open_revision(qp_document document, int revision, qp_document* revisionDocument);
// 1 when the document holds changes not saved yet (such as page identifiers the fingerprint added), 0
// otherwise, -1 on error.
int qp_document_has_unsaved_changes(qp_document document);

// The object with this number as a reference (null when the number is free, unused or out of range).
qp_cos qp_document_object(qp_document document, int objectNumber);
// The trailer dictionary (for a cross-reference stream, its dictionary).
qp_cos qp_document_trailer(qp_document document);
// 1 when the two objects, which may come from different documents, are the same: numbers, names, strings
// and booleans by value, arrays and dictionaries entry by entry (a null entry counts as absent), references
// inside them by object number, streams by their dictionaries (but /Length) and stored bytes. A reference
// given as a or b is compared by what it points to. 0 when they differ, -1 on error.
int qp_cos_same(qp_cos a, qp_cos b);
// The zero-based index of the page whose dictionary is object `objectNumber`, or -1 when it is no page of
// the document's page tree.
int qp_document_page_index(qp_document document, int objectNumber);
// The object numbers of the page dictionaries in page order (0 for a page that is a direct object).
// Two-call protocol as for qp_document_revision_objects.
int qp_document_page_objects(qp_document document, int* numbers, int* count);

// ---- Digests --------------------------------------------------------------------------------
typedef struct qp_hash_s* qp_hash;

// Hash kinds.
#define QP_HASH_SHA1 1
#define QP_HASH_SHA256 2

// Creates a digest of the given kind; *hash is null on failure. Release with qp_hash_destroy.
int qp_hash_create(qp_hash* hash, int kind);
int qp_hash_update(qp_hash hash, const void* data, size_t length);
// Writes the digest into out (at least *length bytes available); sets *length to the digest size.
// The hash cannot be updated after final.
int qp_hash_final(qp_hash hash, unsigned char* out, size_t* length);
void qp_hash_destroy(qp_hash hash);

#ifdef __cplusplus
}
#endif
