// The two random-stream states that every program linking the library
// defines; the harnesses never draw from them.
namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc
