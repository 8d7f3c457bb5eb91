#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/memory/stl/AWSVector.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/CommonPrefix.h>
#include <aws/s3/model/EncodingType.h>
#include <aws/s3/model/Object.h>

#include <utility>

namespace Aws {
namespace S3 {
namespace Model {
// Keys, prefixes and tokens are XML-decoded once; no URL decoding is applied.
class AWS_S3_API ListObjectsV2Result {
  public:
    inline bool GetIsTruncated() const { return m_isTruncated; }
    inline void SetIsTruncated(bool value) {
        m_isTruncatedHasBeenSet = true;
        m_isTruncated = value;
    }
    inline ListObjectsV2Result& WithIsTruncated(bool value) {
        SetIsTruncated(value);
        return *this;
    }
    inline bool IsTruncatedHasBeenSet() const { return m_isTruncatedHasBeenSet; }

    inline const Aws::Vector<Object>& GetContents() const { return m_contents; }
    template <typename ContentsT = Aws::Vector<Object>>
    void SetContents(ContentsT&& value) {
        m_contentsHasBeenSet = true;
        m_contents = std::forward<ContentsT>(value);
    }
    template <typename ContentsT = Aws::Vector<Object>>
    ListObjectsV2Result& WithContents(ContentsT&& value) {
        SetContents(std::forward<ContentsT>(value));
        return *this;
    }
    template <typename ContentsT = Object>
    ListObjectsV2Result& AddContents(ContentsT&& value) {
        m_contentsHasBeenSet = true;
        m_contents.emplace_back(std::forward<ContentsT>(value));
        return *this;
    }
    inline bool ContentsHasBeenSet() const { return m_contentsHasBeenSet; }

    inline const Aws::String& GetName() const { return m_name; }
    template <typename NameT = Aws::String>
    void SetName(NameT&& value) {
        m_nameHasBeenSet = true;
        m_name = std::forward<NameT>(value);
    }
    template <typename NameT = Aws::String>
    ListObjectsV2Result& WithName(NameT&& value) {
        SetName(std::forward<NameT>(value));
        return *this;
    }
    inline bool NameHasBeenSet() const { return m_nameHasBeenSet; }

    inline const Aws::String& GetPrefix() const { return m_prefix; }
    template <typename PrefixT = Aws::String>
    void SetPrefix(PrefixT&& value) {
        m_prefixHasBeenSet = true;
        m_prefix = std::forward<PrefixT>(value);
    }
    template <typename PrefixT = Aws::String>
    ListObjectsV2Result& WithPrefix(PrefixT&& value) {
        SetPrefix(std::forward<PrefixT>(value));
        return *this;
    }
    inline bool PrefixHasBeenSet() const { return m_prefixHasBeenSet; }

    inline const Aws::String& GetDelimiter() const { return m_delimiter; }
    template <typename DelimiterT = Aws::String>
    void SetDelimiter(DelimiterT&& value) {
        m_delimiterHasBeenSet = true;
        m_delimiter = std::forward<DelimiterT>(value);
    }
    template <typename DelimiterT = Aws::String>
    ListObjectsV2Result& WithDelimiter(DelimiterT&& value) {
        SetDelimiter(std::forward<DelimiterT>(value));
        return *this;
    }
    inline bool DelimiterHasBeenSet() const { return m_delimiterHasBeenSet; }

    inline int GetMaxKeys() const { return m_maxKeys; }
    inline void SetMaxKeys(int value) {
        m_maxKeysHasBeenSet = true;
        m_maxKeys = value;
    }
    inline ListObjectsV2Result& WithMaxKeys(int value) {
        SetMaxKeys(value);
        return *this;
    }
    inline bool MaxKeysHasBeenSet() const { return m_maxKeysHasBeenSet; }

    inline const Aws::Vector<CommonPrefix>& GetCommonPrefixes() const { return m_commonPrefixes; }
    template <typename CommonPrefixesT = Aws::Vector<CommonPrefix>>
    void SetCommonPrefixes(CommonPrefixesT&& value) {
        m_commonPrefixesHasBeenSet = true;
        m_commonPrefixes = std::forward<CommonPrefixesT>(value);
    }
    template <typename CommonPrefixesT = Aws::Vector<CommonPrefix>>
    ListObjectsV2Result& WithCommonPrefixes(CommonPrefixesT&& value) {
        SetCommonPrefixes(std::forward<CommonPrefixesT>(value));
        return *this;
    }
    template <typename CommonPrefixesT = CommonPrefix>
    ListObjectsV2Result& AddCommonPrefixes(CommonPrefixesT&& value) {
        m_commonPrefixesHasBeenSet = true;
        m_commonPrefixes.emplace_back(std::forward<CommonPrefixesT>(value));
        return *this;
    }
    inline bool CommonPrefixesHasBeenSet() const { return m_commonPrefixesHasBeenSet; }

    inline EncodingType GetEncodingType() const { return m_encodingType; }
    inline void SetEncodingType(EncodingType value) {
        m_encodingTypeHasBeenSet = true;
        m_encodingType = value;
    }
    inline ListObjectsV2Result& WithEncodingType(EncodingType value) {
        SetEncodingType(value);
        return *this;
    }
    inline bool EncodingTypeHasBeenSet() const { return m_encodingTypeHasBeenSet; }

    inline int GetKeyCount() const { return m_keyCount; }
    inline void SetKeyCount(int value) {
        m_keyCountHasBeenSet = true;
        m_keyCount = value;
    }
    inline ListObjectsV2Result& WithKeyCount(int value) {
        SetKeyCount(value);
        return *this;
    }
    inline bool KeyCountHasBeenSet() const { return m_keyCountHasBeenSet; }

    inline const Aws::String& GetContinuationToken() const { return m_continuationToken; }
    template <typename ContinuationTokenT = Aws::String>
    void SetContinuationToken(ContinuationTokenT&& value) {
        m_continuationTokenHasBeenSet = true;
        m_continuationToken = std::forward<ContinuationTokenT>(value);
    }
    template <typename ContinuationTokenT = Aws::String>
    ListObjectsV2Result& WithContinuationToken(ContinuationTokenT&& value) {
        SetContinuationToken(std::forward<ContinuationTokenT>(value));
        return *this;
    }
    inline bool ContinuationTokenHasBeenSet() const { return m_continuationTokenHasBeenSet; }

    inline const Aws::String& GetNextContinuationToken() const { return m_nextContinuationToken; }
    template <typename NextContinuationTokenT = Aws::String>
    void SetNextContinuationToken(NextContinuationTokenT&& value) {
        m_nextContinuationTokenHasBeenSet = true;
        m_nextContinuationToken = std::forward<NextContinuationTokenT>(value);
    }
    template <typename NextContinuationTokenT = Aws::String>
    ListObjectsV2Result& WithNextContinuationToken(NextContinuationTokenT&& value) {
        SetNextContinuationToken(std::forward<NextContinuationTokenT>(value));
        return *this;
    }
    inline bool NextContinuationTokenHasBeenSet() const {
        return m_nextContinuationTokenHasBeenSet;
    }

    inline const Aws::String& GetStartAfter() const { return m_startAfter; }
    template <typename StartAfterT = Aws::String>
    void SetStartAfter(StartAfterT&& value) {
        m_startAfterHasBeenSet = true;
        m_startAfter = std::forward<StartAfterT>(value);
    }
    template <typename StartAfterT = Aws::String>
    ListObjectsV2Result& WithStartAfter(StartAfterT&& value) {
        SetStartAfter(std::forward<StartAfterT>(value));
        return *this;
    }
    inline bool StartAfterHasBeenSet() const { return m_startAfterHasBeenSet; }

    inline const Aws::String& GetRequestId() const { return m_requestId; }
    template <typename RequestIdT = Aws::String>
    void SetRequestId(RequestIdT&& value) {
        m_requestIdHasBeenSet = true;
        m_requestId = std::forward<RequestIdT>(value);
    }
    template <typename RequestIdT = Aws::String>
    ListObjectsV2Result& WithRequestId(RequestIdT&& value) {
        SetRequestId(std::forward<RequestIdT>(value));
        return *this;
    }
    inline bool RequestIdHasBeenSet() const { return m_requestIdHasBeenSet; }

  private:
    bool m_isTruncated{false};
    bool m_isTruncatedHasBeenSet = false;
    Aws::Vector<Object> m_contents;
    bool m_contentsHasBeenSet = false;
    Aws::String m_name;
    bool m_nameHasBeenSet = false;
    Aws::String m_prefix;
    bool m_prefixHasBeenSet = false;
    Aws::String m_delimiter;
    bool m_delimiterHasBeenSet = false;
    int m_maxKeys{0};
    bool m_maxKeysHasBeenSet = false;
    Aws::Vector<CommonPrefix> m_commonPrefixes;
    bool m_commonPrefixesHasBeenSet = false;
    EncodingType m_encodingType{EncodingType::NOT_SET};
    bool m_encodingTypeHasBeenSet = false;
    int m_keyCount{0};
    bool m_keyCountHasBeenSet = false;
    Aws::String m_continuationToken;
    bool m_continuationTokenHasBeenSet = false;
    Aws::String m_nextContinuationToken;
    bool m_nextContinuationTokenHasBeenSet = false;
    Aws::String m_startAfter;
    bool m_startAfterHasBeenSet = false;
    Aws::String m_requestId;
    bool m_requestIdHasBeenSet = false;
};
}  // namespace Model
}  // namespace S3
}  // namespace Aws
